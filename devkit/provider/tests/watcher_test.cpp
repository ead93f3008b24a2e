// The store's watcher through mapi32: changes lost to an overflow, folders that go away and
// come back, and the order of what a reader does.
#include "mapi_test_support.h"
#include "read_buffer.h"
#include "wine_test.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <cstring>

#include <algorithm>
#include <array>
#include <atomic>
#include <fstream>
#include <map>
#include <set>
#include <thread>

using namespace kit;

namespace {

constexpr ULONG allEvents = 0x7E;

size_t countOf(const RecordingSink& sink, ULONG event) {
    size_t count = 0;
    for (const auto& received : sink.received)
        count += received.event == event;
    return count;
}

// Logs on and registers `sink` for every event of the Inbox.
bool watchInbox(StoreFixture& fixture, RecordingSink& sink) {
    return fixture.logon() == S_OK && fixture.advise(fixture.inbox(), allEvents, &sink) != 0;
}

// Long enough for a machine busy with other work, where a notice may take several seconds.
bool waitFor(const RecordingSink& sink, size_t count, DWORD timeout = 15000) {
    return wt::pumpUntil([&] { return sink.received.size() >= count; }, timeout);
}

SIZE_T workingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}

TEST(ReadBuffers, IdleOnesTakeNoMemoryUntilAChangeIsWrittenIn) {
    // Three reads a folder for a thousand folders.
    std::vector<maildir::ReadBuffer> buffers;
    const SIZE_T before = workingSet();
    for (DWORD i = 0; i < 3000; ++i)
        buffers.emplace_back(512 + i % 3 * 1024);
    const SIZE_T idle = workingSet();
    for (const auto& buffer : buffers) {
        ASSERT_TRUE(buffer);
        ASSERT_GE(buffer.size(), 512u);
        ASSERT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % sizeof(DWORD), 0u);
    }
    EXPECT_LT(idle - before, SIZE_T(1) << 20) << "3,000 buffers waiting";
    // A change written into 500 of them takes memory: what was measured above is real.
    for (size_t i = 0; i < 500; ++i)
        std::memset(buffers[i * 6].data(), 0x5A, 512);
    EXPECT_GT(workingSet() - idle, SIZE_T(500) * 4096 * 3 / 4);
    // A buffer given back and taken again is whole and writable.
    buffers.erase(buffers.begin(), buffers.begin() + 1000);
    maildir::ReadBuffer again(4096);
    ASSERT_TRUE(again);
    std::memset(again.data(), 0, again.size());
    maildir::ReadBuffer large(64 * 1024);
    ASSERT_GE(large.size(), 64u * 1024);
    std::memset(large.data(), 0, large.size());
}

TEST(Watcher, LostChangesAreFoundOnDiskAndAnnouncedOnce) {
    // Every read reports an overflow: all that is known comes from comparing with the disk.
    RecordingSink sink; // outlives the registration that holds it
    StoreFixture fixture("ReadDirectoryChangesW#1+=0x80004005");
    ASSERT_TRUE(watchInbox(fixture, sink));
    std::set<Bytes> expected;
    for (int i = 0; i < 40; ++i)
        expected.insert(fixture.messageId(fixture.inbox(), fixture.deliver(fixture.inbox(), "x")));
    ASSERT_TRUE(waitFor(sink, expected.size(), 10000)) << sink.received.size();
    wt::pumpFor(500);
    std::set<Bytes> announced;
    for (const auto& received : sink.received) {
        EXPECT_EQ(received.event, ULONG(fnevNewMail));
        announced.insert(received.id);
    }
    EXPECT_EQ(sink.received.size(), expected.size()) << "each once";
    EXPECT_EQ(announced, expected);
}

TEST(Watcher, LostChangesBeforeTheFolderIsListedAnnounceOnlyWhatCameAfter) {
    // The folder is listed only when the first lost change forces it.
    RecordingSink sink;
    StoreFixture fixture("Watcher::list#1+=0x80004005; ReadDirectoryChangesW#1+=0x80004005");
    std::set<std::string> before;
    for (int i = 0; i < 3; ++i)
        before.insert(fixture.deliver(fixture.inbox(), "before"));
    Sleep(1000); // well before: one delivered just before the watch may count as after it
    ASSERT_TRUE(watchInbox(fixture, sink));
    const Bytes after = fixture.messageId(fixture.inbox(), fixture.deliver(fixture.inbox(), "x"));
    ASSERT_TRUE(waitFor(sink, 1));
    wt::pumpFor(500);
    ASSERT_EQ(sink.received.size(), 1u);
    EXPECT_EQ(sink.received[0].event, ULONG(fnevNewMail));
    EXPECT_EQ(sink.received[0].id, after);
}

TEST(Watcher, MessagesThereBeforeTheWatchAreNeverNewEvenBeforeTheyAreListed) {
    RecordingSink sink;
    StoreFixture fixture("Watcher::list#1+=0x80004005");
    const std::string read = fixture.deliver(fixture.inbox(), "read");
    const std::string removed = fixture.deliver(fixture.inbox(), "removed");
    fixture.deliver(fixture.inbox(), "left alone");
    ASSERT_TRUE(watchInbox(fixture, sink));
    const auto dir = fixture.files().directory(fixture.inbox());
    std::filesystem::rename(dir / "new" / read, dir / "cur" / (read + ";2,S"));
    std::filesystem::remove(dir / "new" / removed);
    const std::string arrived = fixture.deliver(fixture.inbox(), "arrived");
    ASSERT_TRUE(waitFor(sink, 3)) << sink.received.size();
    wt::pumpFor(500);
    std::map<Bytes, ULONG> events;
    for (const auto& received : sink.received)
        events[received.id] |= received.event;
    EXPECT_EQ(sink.received.size(), 3u);
    EXPECT_EQ(events[fixture.messageId(fixture.inbox(), read)], ULONG(fnevObjectModified));
    EXPECT_EQ(events[fixture.messageId(fixture.inbox(), removed)], ULONG(fnevObjectDeleted));
    EXPECT_EQ(events[fixture.messageId(fixture.inbox(), arrived)], ULONG(fnevNewMail));
}

TEST(Watcher, MailDeliveredWhileFoldersAreRegisteredIsAnnouncedOnceIfAfterNeverIfBefore) {
    // Mail goes on arriving in every folder, in turn, while they are registered one by one; a
    // folder is listed only once the registrations are over.
    RecordingSink sink;
    StoreFixture fixture;
    ASSERT_EQ(fixture.logon(), S_OK);
    constexpr int folders = 30;
    std::vector<std::string> paths;
    std::set<Bytes> before;
    for (int i = 0; i < folders; ++i) {
        bool existed = false;
        paths.push_back(
            *fixture.files().createFolder(fixture.inbox(), "F" + std::to_string(i), existed));
        before.insert(fixture.messageId(paths.back(), fixture.deliver(paths.back(), "before")));
    }
    std::array<std::atomic<bool>, folders> registered{};
    std::atomic<bool> stop = false;
    std::vector<std::pair<std::string, bool>> delivered; // folder/unique, after its registration
    std::atomic<int> deliveredAfter = 0;
    std::thread deliverer([&] {
        for (int i = 0; !stop; i = (i + 1) % folders) {
            const bool after = registered[i];
            delivered.emplace_back(paths[i] + "/" + fixture.deliver(paths[i], "x"), after);
            deliveredAfter += after;
            Sleep(1);
        }
    });
    Sleep(20);
    for (int i = 0; i < folders; ++i) {
        ASSERT_NE(fixture.advise(paths[i], allEvents, &sink), 0u);
        registered[i] = true;
    }
    // Every folder gets mail after its registration, however slowly a loaded machine delivers.
    for (int waited = 0; deliveredAfter <= 2 * folders && waited < 10000; waited += 10)
        Sleep(10);
    stop = true;
    deliverer.join();

    std::map<Bytes, bool> afterRegistration;
    for (const auto& [where, after] : delivered) {
        const size_t slash = where.rfind('/');
        afterRegistration[fixture.messageId(where.substr(0, slash), where.substr(slash + 1))] =
            after;
    }
    const auto announced = [&](const Bytes& id) {
        return std::count_if(sink.received.begin(), sink.received.end(),
                             [&](const auto& received) { return received.id == id; });
    };
    ASSERT_TRUE(wt::pumpUntil(
        [&] {
            return std::all_of(afterRegistration.begin(), afterRegistration.end(),
                               [&](const auto& m) { return !m.second || announced(m.first); });
        },
        15000));
    wt::pumpFor(500);
    for (const auto& received : sink.received)
        EXPECT_EQ(received.event, ULONG(fnevNewMail));
    for (const auto& [id, after] : afterRegistration) {
        if (after)
            EXPECT_EQ(announced(id), 1) << "delivered after its folder's registration: once";
        else
            EXPECT_LE(announced(id), 1) << "delivered during it: at most once";
    }
    for (const Bytes& id : before)
        EXPECT_EQ(announced(id), 0) << "there before";
    EXPECT_GT(std::count_if(afterRegistration.begin(), afterRegistration.end(),
                            [](const auto& m) { return m.second; }),
              folders)
        << "deliveries after registration, to every folder";
}

TEST(Watcher, BurstLargerThanOneReadIsAnnouncedOnceEach) {
    // Far more than a folder's first buffer holds: the overflow is found on disk, and the
    // larger buffers that follow still hear each message once.
    RecordingSink sink;
    StoreFixture fixture;
    ASSERT_TRUE(watchInbox(fixture, sink));
    std::set<Bytes> expected;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 150; ++i)
            expected.insert(
                fixture.messageId(fixture.inbox(), fixture.deliver(fixture.inbox(), "x")));
        ASSERT_TRUE(waitFor(sink, expected.size())) << sink.received.size();
    }
    wt::pumpFor(500);
    std::set<Bytes> announced;
    for (const auto& received : sink.received)
        if (received.event == fnevNewMail)
            announced.insert(received.id);
    EXPECT_EQ(sink.received.size(), expected.size()) << "each once";
    EXPECT_EQ(announced, expected);
}

TEST(Watcher, ReadingAMessageIsAChangeNeverNewMail) {
    RecordingSink sink;
    StoreFixture fixture;
    ASSERT_TRUE(watchInbox(fixture, sink));
    const std::string unique = fixture.deliver(fixture.inbox(), "to be read");
    ASSERT_TRUE(waitFor(sink, 1));
    const auto dir = fixture.files().directory(fixture.inbox());
    // The removal from new/ and the arrival in cur/ come as two changes.
    std::filesystem::rename(dir / "new" / unique, dir / "cur" / (unique + ";2,S"));
    ASSERT_TRUE(waitFor(sink, 2));
    wt::pumpFor(400);
    ASSERT_EQ(sink.received.size(), 2u);
    EXPECT_EQ(sink.received[1].event, ULONG(fnevObjectModified));
    EXPECT_EQ(sink.received[1].id, fixture.messageId(fixture.inbox(), unique));
    EXPECT_EQ(countOf(sink, fnevNewMail), 1u);
}

TEST(Watcher, FolderRemovedAndMadeAgainIsHeardAgain) {
    RecordingSink sink;
    StoreFixture fixture;
    ASSERT_TRUE(watchInbox(fixture, sink));
    fixture.deliver(fixture.inbox(), "before");
    ASSERT_TRUE(waitFor(sink, 1));

    // A sync tool re-creating the tree: the Inbox and its parent go, then come back.
    // However the watcher's steps fall between these, the mail that comes after is heard.
    ASSERT_TRUE(removeTreeFromLinux(fixture.files().directory("IPM_SUBTREE")));
    wt::pumpFor(300);
    fixture.files().createStandardLayout();
    wt::pumpFor(300);
    const std::string after = fixture.deliver(fixture.inbox(), "after");
    const Bytes afterId = fixture.messageId(fixture.inbox(), after);
    // The removal of "before" may be told before or after it.
    const auto newMailAfter = [&] {
        size_t count = 0;
        for (const auto& received : sink.received)
            count += received.event == fnevNewMail && received.id == afterId;
        return count;
    };
    ASSERT_TRUE(wt::pumpUntil([&] { return newMailAfter() > 0; }, 15000)) << sink.received.size();
    wt::pumpFor(400);
    EXPECT_EQ(newMailAfter(), 1u) << "once";
    EXPECT_EQ(countOf(sink, fnevNewMail), 2u);
}

TEST(Watcher, MaildirWrittenOnLinuxIsListedAnnouncedAndOpened) {
    RecordingSink sink;
    StoreFixture fixture;
    ASSERT_TRUE(watchInbox(fixture, sink));
    const auto source = fixture.files().root() / "source.eml";
    std::ofstream(source, std::ios::binary) << "Subject: synced\r\n\r\nfrom mbsync";
    const auto dir = fixture.files().directory(fixture.inbox());
    // As mbsync and Dovecot name them, and one whose unique part Windows could not hold.
    ASSERT_TRUE(copyFromLinux(source, dir / "cur", "1700000000.M1P2.host,U=7:2,S"));
    ASSERT_TRUE(copyFromLinux(source, dir / "cur", "1700000001.M3P4.we*rd:2,"));
    // A delivery no identifier can name: reported, not dropped in silence.
    ASSERT_TRUE(copyFromLinux(source, dir / "new", "1700000002.bad."));
    ASSERT_TRUE(waitFor(sink, 2));
    wt::pumpFor(400);
    ASSERT_EQ(sink.received.size(), 2u);
    EXPECT_EQ(countOf(sink, fnevObjectCreated), 2u);
    EXPECT_NE(failureTrace().find("1700000002.bad."), std::string::npos);

    const auto messages = fixture.files().messages(fixture.inbox());
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].unique, "1700000000.M1P2.host,U=7");
    EXPECT_EQ(messages[0].flags, "S");
    EXPECT_EQ(messages[1].unique, "1700000001.M3P4.we%2Ard");
    for (const auto& message : messages)
        EXPECT_TRUE(fixture.openMessage(fixture.messageId(fixture.inbox(), message.unique)))
            << message.unique;
    // And such a folder can be removed whole.
    fixture.logoff();
    EXPECT_TRUE(fixture.files().removeFolder(fixture.inbox()));
    EXPECT_FALSE(std::filesystem::exists(dir));
}

} // namespace
