// Links that lead out of the store, made on the Linux side as a user or a sync tool may: what
// they lead to is never listed, announced, opened or deleted.
#include "calendar_items.h"
#include "mapi_test_support.h"
#include "wine_test.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using namespace kit;

namespace {

constexpr ULONG allEvents = 0x7E;

ULONG rowCount(IMAPIFolder* folder, bool hierarchy) {
    Ref<IMAPITable> table;
    ULONG count = 0;
    if (hierarchy)
        folder->GetHierarchyTable(0, table.put());
    else
        folder->GetContentsTable(0, table.put());
    if (table)
        table->GetRowCount(0, &count);
    return count;
}

// An appointment of half an hour with a reminder, as the kit writes one.
std::string appointmentText(const char* summary) {
    std::string error;
    return devkit::composeAppointment({.summary = summary,
                                       .location = {},
                                       .start = 1900000000,
                                       .minutes = 30,
                                       .zone = "UTC",
                                       .alarmMinutesBefore = 15,
                                       .rule = {}},
                                      error)
        .value();
}

HRESULT deleteMessage(IMAPIFolder* folder, Bytes id) {
    SBinary binary{ULONG(id.size()), id.data()};
    ENTRYLIST list{1, &binary};
    return folder->DeleteMessages(&list, 0, nullptr, 0);
}

class StoreBoundary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(fixture.logon(), S_OK);
        // A Maildir elsewhere, holding one message that must survive.
        for (const char* sub : {"new", "cur", "tmp"})
            std::filesystem::create_directories(outside / sub);
        std::ofstream(outsideMessage, std::ios::binary) << "Subject: secret\r\n\r\nkeep out";
    }
    void TearDown() override {
        fixture.logoff();
        // Links are removed from the Linux side: Windows calls under Wine reach what they lead to.
        removeTreeFromLinux(fixture.files().root());
        std::filesystem::remove_all(outside);
    }
    std::filesystem::path inboxDir() { return fixture.files().directory(fixture.inbox()); }

    RecordingSink sink; // outlives the registrations that hold it
    StoreFixture fixture;
    const std::filesystem::path outside = temporaryStoreRoot(L"outside");
    const std::string outsideUnique = "1700000000.P1Q1.elsewhere";
    const std::filesystem::path outsideMessage = outside / "cur" / outsideUnique;
};

TEST_F(StoreBoundary, LinkedFolderIsNotListedOpenedOrEmptied) {
    ASSERT_TRUE(symlinkFromLinux(outside, inboxDir() / "Evil"));
    const std::string evil = fixture.inbox() + "/Evil";
    Ref<IMAPIFolder> inbox = fixture.openFolder(fixture.folderId(fixture.inbox()));
    EXPECT_EQ(rowCount(inbox.get(), true), 0u);
    EXPECT_FALSE(fixture.openFolder(fixture.folderId(evil)));
    EXPECT_FALSE(fixture.openMessage(fixture.messageId(evil, outsideUnique)));
    EXPECT_FALSE(fixture.files().deleteMessage(evil, outsideUnique));
    EXPECT_FALSE(fixture.files().removeFolder(fixture.inbox())) << "a tree with a way out";
    EXPECT_EQ(fixture.advise(evil, allEvents, &sink), 0u);
    EXPECT_TRUE(std::filesystem::exists(outsideMessage));
}

TEST_F(StoreBoundary, LinkedMessagesAreNotAnnouncedShownOrDeleted) {
    ASSERT_NE(fixture.advise(fixture.inbox(), allEvents, &sink), 0u);
    // Made in place on the Linux side: one in new/, one in cur/.
    const std::string linked = "1700000001.P1Q2.linked";
    ASSERT_TRUE(symlinkFromLinux(outsideMessage, inboxDir() / "new" / linked));
    const std::string seen = "1700000002.P1Q3.linked";
    ASSERT_TRUE(symlinkFromLinux(outsideMessage, inboxDir() / "cur" / seen));
    const std::string real = fixture.deliver(fixture.inbox(), "real");
    ASSERT_TRUE(wt::pumpUntil([&] { return !sink.received.empty(); })) << failureTrace();
    wt::pumpFor(500);
    ASSERT_EQ(sink.received.size(), 1u);
    EXPECT_EQ(sink.received[0].id, fixture.messageId(fixture.inbox(), real));
    EXPECT_NE(failureTrace().find(linked), std::string::npos);

    Ref<IMAPIFolder> inbox = fixture.openFolder(fixture.folderId(fixture.inbox()));
    EXPECT_EQ(rowCount(inbox.get(), false), 1u);
    for (const std::string& unique : {linked, seen}) {
        EXPECT_FALSE(fixture.openMessage(fixture.messageId(fixture.inbox(), unique)));
        EXPECT_EQ(deleteMessage(inbox.get(), fixture.messageId(fixture.inbox(), unique)),
                  MAPI_W_PARTIAL_COMPLETION);
    }
    EXPECT_TRUE(std::filesystem::exists(outsideMessage));
}

TEST_F(StoreBoundary, MessageReachedThroughALinkedDirectoryIsRefused) {
    // Junctions cannot be made under Wine; a directory link stands for every kind of reparse
    // point, since the file itself then looks like any other.
    bool existed = false;
    const std::string projects =
        *fixture.files().createFolder(fixture.inbox(), "Projects", existed);
    const auto cur = fixture.files().directory(projects) / "cur";
    std::filesystem::remove(cur);
    ASSERT_TRUE(symlinkFromLinux(outside / "cur", cur));
    Ref<IMAPIFolder> folder = fixture.openFolder(fixture.folderId(projects));
    ASSERT_TRUE(folder);
    EXPECT_EQ(rowCount(folder.get(), false), 0u);
    EXPECT_FALSE(fixture.openMessage(fixture.messageId(projects, outsideUnique)));
    EXPECT_EQ(deleteMessage(folder.get(), fixture.messageId(projects, outsideUnique)),
              MAPI_W_PARTIAL_COMPLETION);
    EXPECT_TRUE(std::filesystem::exists(outsideMessage));
}

TEST_F(StoreBoundary, FolderHoldingALinkKeepsWhatItLeadsTo) {
    // Even a link that stays inside: under Wine, removing it would remove an empty directory
    // it leads to.
    bool existed = false;
    const std::string projects =
        *fixture.files().createFolder(fixture.inbox(), "Projects", existed);
    const std::string archive = *fixture.files().createFolder(fixture.inbox(), "Archive", existed);
    const auto archiveTmp = fixture.files().directory(archive) / "tmp";
    ASSERT_TRUE(symlinkFromLinux(archiveTmp, fixture.files().directory(projects) / "Alias"));
    EXPECT_FALSE(fixture.files().removeFolder(projects));
    EXPECT_TRUE(std::filesystem::is_directory(archiveTmp));
}

TEST_F(StoreBoundary, LinkedAppointmentsAreNotListedServedOrDeleted) {
    const std::string text = appointmentText("private");
    const auto outsideItem = outside / "private.ics";
    std::ofstream(outsideItem, std::ios::binary) << text;
    const std::string calendar = "IPM_SUBTREE/Calendar";
    ASSERT_TRUE(symlinkFromLinux(outsideItem, fixture.files().directory(calendar) / "linked.ics"));
    fixture.files().putCalendarFile(calendar, text, "team");

    // Advised first: its watch lists the folder without checking each file, and checks each
    // as it reads them; a table served from that list meanwhile reads through the checked
    // reading. The link is neither a row nor announced.
    Ref<IMAPIFolder> folder = fixture.openFolder(fixture.folderId(calendar));
    ASSERT_TRUE(folder);
    ASSERT_NE(fixture.advise(calendar, allEvents, &sink), 0u);
    EXPECT_EQ(rowCount(folder.get(), false), 1u);
    // Under Wine a file cannot be replaced while the watch has it open: tried again.
    ASSERT_TRUE(wt::pumpUntil([&] {
        try {
            fixture.files().putCalendarFile(calendar, text + "\r\n", "team");
            return true;
        } catch (const std::runtime_error&) {
            return false;
        }
    }));
    ASSERT_TRUE(wt::pumpUntil([&] { return !sink.received.empty(); })) << failureTrace();
    for (const auto& notice : sink.received)
        EXPECT_EQ(notice.id, fixture.messageId(calendar, "team"));
    EXPECT_EQ(rowCount(folder.get(), false), 1u);

    const auto listed = fixture.files().calendarFiles(calendar);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, "team");
    EXPECT_TRUE(fixture.openMessage(fixture.messageId(calendar, "team")));
    EXPECT_FALSE(fixture.openMessage(fixture.messageId(calendar, "linked")));
    EXPECT_EQ(deleteMessage(folder.get(), fixture.messageId(calendar, "linked")),
              MAPI_W_PARTIAL_COMPLETION);
    EXPECT_FALSE(fixture.files().deleteCalendarFile(calendar, "linked"));

    // A whole calendar folder leading outside, with the same file in it.
    const std::string elsewhere = "IPM_SUBTREE/Elsewhere";
    ASSERT_TRUE(symlinkFromLinux(outside, fixture.files().directory(elsewhere)));
    EXPECT_TRUE(fixture.files().calendarFiles(elsewhere).empty());
    EXPECT_FALSE(fixture.openFolder(fixture.folderId(elsewhere)));
    EXPECT_FALSE(fixture.files().deleteCalendarFile(elsewhere, "private"));
    EXPECT_TRUE(std::filesystem::exists(outsideItem));

    EXPECT_EQ(deleteMessage(folder.get(), fixture.messageId(calendar, "team")), S_OK);
    EXPECT_FALSE(fixture.files().findCalendarFile(calendar, "team"));
}

std::string subjectOf(IMAPIProp* item) {
    SizedSPropTagArray(1, tags) = {1, {PR_SUBJECT_A}};
    ULONG count = 0;
    SPropValue* values = nullptr;
    std::string subject;
    if (item &&
        SUCCEEDED(item->GetProps(reinterpret_cast<SPropTagArray*>(&tags), 0, &count, &values)) &&
        values && values[0].ulPropTag == PR_SUBJECT_A)
        subject = values[0].Value.lpszA;
    MAPIFreeBuffer(values);
    return subject;
}

// The file is swapped for a link to one outside the store after the kit has checked it and
// before it reads it: what is read is still the file that was checked.
TEST_F(StoreBoundary, AFileSwappedForALinkBetweenCheckAndReadIsNotReadThroughIt) {
    const std::string real = fixture.deliver(fixture.inbox(), "Lunch at noon?");
    const auto delivered = fixture.files().findMessage(fixture.inbox(), real).value().file;
    std::filesystem::rename(delivered, inboxDir() / "cur" / (real + ";2,S")); // read already
    const auto message = fixture.files().findMessage(fixture.inbox(), real).value().file;
    const std::string calendar = "IPM_SUBTREE/Calendar";
    fixture.files().putCalendarFile(calendar, appointmentText("Inside"), "team");
    const auto item = fixture.files().findCalendarFile(calendar, "team").value().file;
    const auto outsideItem = outside / "private.ics";
    std::ofstream(outsideItem, std::ios::binary) << appointmentText("Outside");

    // Read once unheld: what the store has to catch up with in its settings is caught up.
    ASSERT_EQ(subjectOf(fixture.openMessage(fixture.messageId(fixture.inbox(), real)).get()),
              "Lunch at noon?");
    int round = 0;
    for (const auto& [file, target] :
         {std::pair(message, outsideMessage), std::pair(item, outsideItem)}) {
        // Each round's setting differs from the last: the store restarts its count at a new
        // setting, and one written again unchanged (the clearing between unseen) is none.
        kit::setSetting(L"Faults", "File::read#1=0x8000400" + std::to_string(++round));
        Sleep(300); // the store follows the setting through a registry notification
        std::thread swapper = swapWhileReadIsHeld([&, file = file, target = target] {
            std::filesystem::rename(file, outside / "taken");
            symlinkFromLinux(target, file);
        });
        std::string subject;
        if (file == message) {
            subject =
                subjectOf(fixture.openMessage(fixture.messageId(fixture.inbox(), real)).get());
        } else {
            Ref<IMAPIFolder> folder = fixture.openFolder(fixture.folderId(calendar));
            Ref<IMAPITable> table;
            SRowSet* rows = nullptr;
            SizedSPropTagArray(1, columns) = {1, {PR_SUBJECT_A}};
            if (folder && SUCCEEDED(folder->GetContentsTable(0, table.put())) &&
                SUCCEEDED(table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0)) &&
                SUCCEEDED(table->QueryRows(10, 0, &rows)) && rows && rows->cRows == 1 &&
                rows->aRow[0].lpProps[0].ulPropTag == PR_SUBJECT_A)
                subject = rows->aRow[0].lpProps[0].Value.lpszA;
            if (rows)
                for (ULONG i = 0; i < rows->cRows; ++i)
                    MAPIFreeBuffer(rows->aRow[i].lpProps);
            MAPIFreeBuffer(rows);
        }
        swapper.join();
        kit::setSetting(L"Faults", "");
        EXPECT_EQ(subject, file == message ? "Lunch at noon?" : "Inside");
        EXPECT_NE(devkit::readFile(file).find(file == message ? "secret" : "Outside"),
                  std::string::npos)
            << "swapped while the read was held";
        std::filesystem::remove(outside / "taken");
    }
}

// A FIFO blocks whoever reads it until a writer comes: it is no message, and the messages
// beside it read at once.
TEST_F(StoreBoundary, AFifoAmongTheMessagesIsRefusedAndTheOthersReadAtOnce) {
    const std::string real = fixture.deliver(fixture.inbox(), "Lunch at noon?");
    const std::string fifo = "1700000009.P1Q9.fifo";
    ASSERT_TRUE(fifoFromLinux(inboxDir() / "cur" / (fifo + ":2,S")));
    const ULONGLONG began = GetTickCount64();
    EXPECT_FALSE(fixture.openMessage(fixture.messageId(fixture.inbox(), fifo)));
    EXPECT_EQ(subjectOf(fixture.openMessage(fixture.messageId(fixture.inbox(), real)).get()),
              "Lunch at noon?");
    EXPECT_LT(GetTickCount64() - began, 5000u);
}

} // namespace
