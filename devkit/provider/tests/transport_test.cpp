// The session's status table and the mail drops behind its transports, through mapi32.
#include "mapi_test_support.h"
#include "wine_test.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <set>

using namespace kit;
namespace fs = devkit::fs;

namespace {

constexpr ULONG flushAll = FLUSH_UPLOAD | FLUSH_DOWNLOAD | FLUSH_FORCE | FLUSH_NO_UI;
constexpr char childReady[] = "maildir-transport-test-child-ready";

ENTRYID* entry(const Bytes& id) {
    return reinterpret_cast<ENTRYID*>(const_cast<unsigned char*>(id.data()));
}

std::string message(const std::string& subject) {
    return "From: Fetcher <fetch@example.org>\r\nSubject: " + subject + "\r\n\r\nBody\r\n";
}

void writeFile(const fs::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
}

// What a fetcher does: write into tmp/, rename into new/ (or cur/, for mail already seen).
void fetch(const fs::path& drop, const std::string& name, const std::string& content,
           const char* into = "new") {
    writeFile(drop / "tmp" / name, content);
    fs::rename(drop / "tmp" / name, drop / into / name);
}

std::vector<std::string> names(const fs::path& directory) {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& file : fs::directory_iterator(directory, error))
        found.push_back(file.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

struct StatusRow {
    ULONG type;
    std::string name;
    LONG code;
    Bytes id;
};

class MailDrops : public ::testing::Test {
protected:
    MailDrops() {
        for (const fs::path& drop : {home, work})
            for (const char* sub : {"tmp", "new", "cur"})
                fs::create_directories(drop / sub);
    }
    ~MailDrops() override {
        fixture.logoff();
        std::error_code ignored;
        for (const fs::path& drop : {home, work, missing})
            fs::remove_all(drop, ignored);
    }
    // The kit reads its settings (faults too) when MAPI is first initialised, at logon.
    void logon(const std::wstring& transports) {
        setSetting(L"Transports", transports);
        ASSERT_EQ(fixture.logon(), S_OK);
    }

    std::vector<StatusRow> statusRows() {
        std::vector<StatusRow> rows;
        Ref<IMAPITable> table;
        EXPECT_EQ(fixture.session()->GetStatusTable(0, table.put()), S_OK);
        if (!table)
            return rows;
        SizedSPropTagArray(4, columns) = {
            4, {PR_RESOURCE_TYPE, PR_DISPLAY_NAME_A, PR_STATUS_CODE, PR_ENTRYID}};
        EXPECT_EQ(table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0), S_OK);
        SRowSet* set = nullptr;
        EXPECT_EQ(table->QueryRows(100, 0, &set), S_OK);
        for (ULONG i = 0; set && i < set->cRows; ++i) {
            const SPropValue* v = set->aRow[i].lpProps;
            rows.push_back(
                {ULONG(v[0].Value.l), v[1].Value.lpszA, v[2].Value.l, bytesOf(v[3].Value.bin)});
        }
        for (ULONG i = 0; set && i < set->cRows; ++i)
            MAPIFreeBuffer(set->aRow[i].lpProps);
        MAPIFreeBuffer(set);
        return rows;
    }
    Ref<IMAPIStatus> open(const Bytes& id, HRESULT* result = nullptr, ULONG* type = nullptr) {
        Ref<IMAPIStatus> status;
        ULONG objectType = 0;
        const HRESULT opened =
            fixture.session()->OpenEntry(ULONG(id.size()), entry(id), nullptr, MAPI_MODIFY,
                                         &objectType, status.putAs<IUnknown>());
        if (result)
            *result = opened;
        if (type)
            *type = objectType;
        return status;
    }
    Bytes idOf(const std::string& name) {
        for (const StatusRow& row : statusRows())
            if (row.name == name)
                return row.id;
        ADD_FAILURE() << "no status row " << name;
        return {};
    }
    HRESULT flush(const std::string& name, ULONG flags = flushAll, const Bytes& target = {}) {
        Ref<IMAPIStatus> status = open(idOf(name));
        if (!status)
            return E_UNEXPECTED;
        return status->FlushQueues(0, ULONG(target.size()),
                                   target.empty() ? nullptr : entry(target), flags);
    }
    std::wstring drops(std::initializer_list<std::pair<const wchar_t*, fs::path>> pairs) {
        std::wstring setting;
        for (const auto& [name, directory] : pairs)
            setting += std::wstring(name) + L"=" + directory.native() + L";";
        return setting;
    }
    fs::path inboxDir(const char* sub) { return fixture.files().directory(fixture.inbox()) / sub; }
    ULONG adviseInbox(RecordingSink& sink) {
        const Bytes id = fixture.folderId(fixture.inbox());
        ULONG connection = 0;
        EXPECT_EQ(
            fixture.store()->Advise(ULONG(id.size()), entry(id), fnevNewMail, &sink, &connection),
            S_OK);
        return connection;
    }

    StoreFixture fixture;
    const fs::path home = temporaryStoreRoot(L"drop-home-");
    const fs::path work = temporaryStoreRoot(L"drop-work-");
    const fs::path missing = temporaryStoreRoot(L"drop-missing-");
};

// The status table

TEST_F(MailDrops, StatusTableHasTheProfileRowsAndOneTransportPerDrop) {
    logon(drops({{L"home", home}, {L"offline", missing}, {L"home", work}}));
    const std::vector<StatusRow> rows = statusRows();
    ASSERT_EQ(rows.size(), 5u) << "a second drop of the same name is left out";
    const std::vector<ULONG> types = {MAPI_STORE_PROVIDER, MAPI_AB, MAPI_SPOOLER,
                                      MAPI_TRANSPORT_PROVIDER, MAPI_TRANSPORT_PROVIDER};
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].type, types[i]) << i;
        ULONG type = 0;
        Ref<IMAPIStatus> status = open(rows[i].id, nullptr, &type);
        ASSERT_TRUE(status) << rows[i].name;
        EXPECT_EQ(type, ULONG(MAPI_STATUS));
        SizedSPropTagArray(1, tags) = {1, {PR_RESOURCE_TYPE}};
        ULONG count = 0;
        SPropValue* values = nullptr;
        ASSERT_EQ(status->GetProps(reinterpret_cast<SPropTagArray*>(&tags), 0, &count, &values),
                  S_OK);
        EXPECT_EQ(ULONG(values[0].Value.l), types[i]);
        MAPIFreeBuffer(values);
    }
    EXPECT_EQ(rows[3].name, "home");
    EXPECT_EQ(rows[3].code, LONG(STATUS_AVAILABLE));
    EXPECT_EQ(rows[4].name, "offline");
    EXPECT_EQ(rows[4].code, LONG(STATUS_OFFLINE));
}

TEST_F(MailDrops, StatusIdentifiersOfAnotherStoreOrDropAreRefused) {
    logon(drops({{L"home", home}}));
    Bytes otherStore = idOf("home");
    otherStore[22] ^= 0xFF; // the store's UID
    Bytes otherDrop = idOf("home");
    otherDrop.back() = 'X'; // "homX"
    for (const Bytes& id : {otherStore, otherDrop}) {
        HRESULT result = S_OK;
        EXPECT_FALSE(open(id, &result));
        EXPECT_EQ(result, MAPI_E_INVALID_ENTRYID);
    }
}

// Flushing

TEST_F(MailDrops, DownloadMovesCompleteMessagesIntoTheInboxWhereTheyAreAnnounced) {
    logon(drops({{L"home", home}}));
    RecordingSink sink;
    adviseInbox(sink);
    fetch(home, "1700000001.A.host", message("first"));
    fetch(home, "1700000002.B.host;2,S", message("seen elsewhere"), "cur");
    writeFile(home / "tmp" / "1700000003.C.host", "still being written");

    EXPECT_EQ(flush("home", FLUSH_UPLOAD), S_OK);
    EXPECT_EQ(names(home / "new").size(), 1u) << "an upload does not download";
    EXPECT_EQ(flush("home"), S_OK);

    EXPECT_EQ(names(inboxDir("new")),
              (std::vector<std::string>{"1700000001.A.host", "1700000002.B.host"}));
    EXPECT_EQ(devkit::readFile(inboxDir("new") / "1700000001.A.host"), message("first"));
    EXPECT_TRUE(names(home / "new").empty());
    EXPECT_TRUE(names(home / "cur").empty());
    EXPECT_EQ(names(home / "tmp"), std::vector<std::string>{"1700000003.C.host"});
    ASSERT_TRUE(wt::pumpUntil([&] { return sink.received.size() >= 2; }));
    std::set<Bytes> announced;
    for (const auto& notice : sink.received)
        announced.insert(notice.id);
    EXPECT_EQ(announced,
              (std::set<Bytes>{fixture.messageId(fixture.inbox(), "1700000001.A.host"),
                               fixture.messageId(fixture.inbox(), "1700000002.B.host")}));
    fixture.logoff(); // before the sink goes
}

TEST_F(MailDrops, UploadMovesTheOutboxIntoTheDropsOutgoingSide) {
    bool existed = false;
    fixture.files().createFolder("IPM_SUBTREE", "Outbox", existed);
    const std::string first = fixture.files().deliver("IPM_SUBTREE/Outbox", message("reply"));
    const std::string second = fixture.files().deliver("IPM_SUBTREE/Outbox", message("report"));
    logon(drops({{L"home", home}}));

    EXPECT_EQ(flush("home", FLUSH_DOWNLOAD), S_OK);
    EXPECT_TRUE(names(home / "outgoing").empty());
    EXPECT_EQ(flush("home", FLUSH_UPLOAD), S_OK);
    std::vector<std::string> expected = {first, second};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names(home / "outgoing"), expected);
    EXPECT_EQ(devkit::readFile(home / "outgoing" / first), message("reply"));
    EXPECT_TRUE(fixture.files().messages("IPM_SUBTREE/Outbox").empty());
}

TEST_F(MailDrops, SpoolerFlushesEveryTransportAndAMissingDropIsANetworkError) {
    logon(drops({{L"offline", missing}, {L"home", home}, {L"work", work}}));
    fetch(home, "1.home", message("home"));
    fetch(work, "1.work", message("work"));

    EXPECT_EQ(flush("Spooler"), MAPI_E_NETWORK_ERROR);
    EXPECT_EQ(names(inboxDir("new")), (std::vector<std::string>{"1.home", "1.work"}))
        << "the drops after the missing one are flushed all the same";
    EXPECT_EQ(flush("offline"), MAPI_E_NETWORK_ERROR);
    EXPECT_EQ(flush("Maildir store"), MAPI_E_NO_SUPPORT);
    EXPECT_EQ(flush("Address Book"), MAPI_E_NO_SUPPORT);

    fetch(home, "2.home", message("home again"));
    fetch(work, "2.work", message("work again"));
    EXPECT_EQ(flush("Spooler", flushAll, idOf("work")), S_OK);
    EXPECT_EQ(names(home / "new"), std::vector<std::string>{"2.home"}) << "only the one named";
    EXPECT_EQ(flush("Spooler", flushAll, idOf("Address Book")), MAPI_E_INVALID_ENTRYID);

    EXPECT_EQ(
        providerFlushLog(),
        (std::vector<std::string>{"Spooler 0x1E 0x80040115", "offline 0x1E 0x80040115",
                                  "Maildir store 0x1E 0x80040102", "Address Book 0x1E 0x80040102",
                                  "Spooler 0x1E 0x00000000", "Spooler 0x1E 0x80040107"}));
}

TEST_F(MailDrops, FaultsFailTheChosenCalls) {
    setSetting(L"Faults", "IMAPIStatus::FlushQueues#2=0x80004005; "
                          "IMAPISession::GetStatusTable#1=0x8007000E");
    logon(drops({{L"home", home}}));
    Ref<IMAPITable> table;
    EXPECT_EQ(fixture.session()->GetStatusTable(0, table.put()), E_OUTOFMEMORY);
    fetch(home, "1.home", message("home"));
    EXPECT_EQ(flush("home", FLUSH_UPLOAD), S_OK);
    EXPECT_EQ(flush("home"), E_FAIL);
    EXPECT_EQ(names(home / "new").size(), 1u) << "a failed call moves nothing";
    EXPECT_EQ(flush("home"), S_OK);
    EXPECT_EQ(providerFlushLog(),
              (std::vector<std::string>{"home 0x2 0x00000000", "home 0x1E 0x80004005",
                                        "home 0x1E 0x00000000"}));
}

// Moving safely

TEST_F(MailDrops, InterruptedCopyFromAnotherVolumeLeavesOneMessageAfterTheNextFlush) {
    // Every rename answers "another volume"; the first copy stops before the original is
    // removed, as a process that dies there.
    setSetting(L"Faults", "MailDrop::Rename#1+=0x80070011; MailDrop::RemoveOriginal#1=0x80004005");
    logon(drops({{L"home", home}}));
    fetch(home, "1.interrupted", message("interrupted"));
    fetch(home, "2.after", message("after"));

    EXPECT_EQ(flush("home"), E_FAIL);
    EXPECT_EQ(names(home / "new"), std::vector<std::string>{"1.interrupted"});
    EXPECT_EQ(flush("home"), S_OK);
    EXPECT_EQ(names(inboxDir("new")), (std::vector<std::string>{"1.interrupted", "2.after"}));
    EXPECT_EQ(devkit::readFile(inboxDir("new") / "1.interrupted"), message("interrupted"));
    EXPECT_TRUE(names(home / "new").empty());
    EXPECT_TRUE(names(inboxDir("tmp")).empty()) << "no copies left behind";
}

TEST_F(MailDrops, MessageWhoseNameTheInboxHoldsArrivesUnderAnother) {
    const std::string held = fixture.files().deliver(fixture.inbox(), message("already here"));
    logon(drops({{L"home", home}}));
    fetch(home, held, message("different mail, same name"));
    fetch(home, "weird;name;2,S", message("unusable name"), "cur");

    EXPECT_EQ(flush("home"), S_OK);
    EXPECT_EQ(flush("home"), S_OK) << "the next flush finds nothing to move";
    std::multiset<std::string> subjects;
    for (const auto& file : fixture.files().messages(fixture.inbox()))
        subjects.insert(devkit::readFile(file.file));
    EXPECT_EQ(subjects, (std::multiset<std::string>{message("already here"),
                                                    message("different mail, same name"),
                                                    message("unusable name")}));
    EXPECT_TRUE(names(home / "new").empty());
    EXPECT_TRUE(names(home / "cur").empty());
}

// What a drop may hold: only plain files are taken

// A file elsewhere that a link in a drop leads to: it must stay as it is.
struct OutsideFile {
    fs::path file;
    std::string content;
    fs::file_time_type written;

    OutsideFile(const fs::path& directory, const std::string& name)
        : file(directory / name), content(message("private " + name)) {
        writeFile(file, content);
        written = fs::last_write_time(file);
    }
    bool untouched() const {
        std::error_code error;
        return devkit::tryReadFile(file) == content && fs::last_write_time(file, error) == written;
    }
};

// For the swap between listing and move, which the flush calls back with each listed message.
std::function<void(const fs::path&)> onListed;
void WINAPI listedHook(const wchar_t* file) {
    if (onListed)
        onListed(file);
}
void setDropHook(void(WINAPI* hook)(const wchar_t*)) {
    using SetHook = void(WINAPI*)(void(WINAPI*)(const wchar_t*));
    const auto set = reinterpret_cast<SetHook>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"maildirmapi.dll"), "MaildirSetDropHook")));
    ASSERT_TRUE(set);
    set(hook);
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Run on one volume (a rename) and with every rename answering "another volume" (a copy).
class DropEntries : public MailDrops, public ::testing::WithParamInterface<const char*> {
protected:
    DropEntries() {
        fs::create_directories(outside / "folder");
        setSetting(L"Faults", std::string(GetParam()));
    }
    ~DropEntries() override {
        onListed = nullptr;
        setDropHook(nullptr);
        fixture.logoff();
        // From the Linux side: Windows calls under Wine remove what a link leads to.
        for (const fs::path& directory : {home, outside})
            removeTreeFromLinux(directory);
    }
    std::vector<std::string> inboxContents() {
        std::vector<std::string> contents;
        for (const auto& file : fixture.files().messages(fixture.inbox()))
            contents.push_back(devkit::readFile(file.file));
        std::sort(contents.begin(), contents.end());
        return contents;
    }

    const fs::path outside = temporaryStoreRoot(L"drop-outside-");
};

TEST_P(DropEntries, LinksAreLeftInTheDropAndWhatTheyLeadToIsUntouched) {
    const OutsideFile linkedNew(outside, "key"), linkedCur(outside, "document");
    const OutsideFile inFolder(outside / "folder", "inner");
    ASSERT_TRUE(symlinkFromLinux(linkedNew.file, home / "new" / "1700000001.key.host"));
    ASSERT_TRUE(symlinkFromLinux(linkedCur.file, home / "cur" / "1700000002.document.host"));
    ASSERT_TRUE(symlinkFromLinux(outside / "folder", home / "new" / "1700000003.folder.host"));
    // A link to a file of the drop that is still being written leads inside, to the wrong place.
    writeFile(home / "tmp" / "1700000004.partial.host", "half a mes");
    ASSERT_TRUE(
        symlinkFromLinux(home / "tmp" / "1700000004.partial.host", home / "new" / "1700000004.x"));
    fetch(home, "1700000005.good.host", message("good"));
    logon(drops({{L"home", home}}));

    EXPECT_EQ(flush("home"), S_OK);
    EXPECT_EQ(flush("home"), S_OK);

    EXPECT_EQ(inboxContents(), std::vector<std::string>{message("good")});
    EXPECT_TRUE(linkedNew.untouched());
    EXPECT_TRUE(linkedCur.untouched());
    EXPECT_TRUE(inFolder.untouched());
    EXPECT_EQ(devkit::tryReadFile(home / "tmp" / "1700000004.partial.host"), "half a mes");
    EXPECT_EQ(names(home / "new"),
              (std::vector<std::string>{"1700000001.key.host", "1700000003.folder.host",
                                        "1700000004.x"}));
    EXPECT_EQ(names(home / "cur"), std::vector<std::string>{"1700000002.document.host"});
    const std::string trace = failureTrace();
    for (const fs::path& link :
         {home / "new" / "1700000001.key.host", home / "cur" / "1700000002.document.host",
          home / "new" / "1700000003.folder.host", home / "new" / "1700000004.x"})
        EXPECT_EQ(occurrences(trace, link.string()), 1u) << link << " is named once\n" << trace;
    EXPECT_EQ(occurrences(trace, "good"), 0u);
}

TEST_P(DropEntries, FileSwappedBetweenListingAndMoveIsNotFollowed) {
    const OutsideFile target(outside, "key");
    fetch(home, "1700000001.swapped.host", message("swapped for a link"));
    fetch(home, "1700000002.replaced.host", message("replaced by another file"));
    fetch(home, "1700000003.kept.host", message("kept"));
    logon(drops({{L"home", home}}));
    setDropHook(listedHook);
    onListed = [&](const fs::path& file) {
        if (file.filename() == "1700000001.swapped.host") {
            fs::remove(file);
            EXPECT_TRUE(symlinkFromLinux(target.file, file));
        } else if (file.filename() == "1700000002.replaced.host") {
            writeFile(home / "tmp" / "other", message("another file, same name"));
            fs::rename(home / "tmp" / "other", file);
        }
    };

    EXPECT_EQ(flush("home"), S_OK);
    EXPECT_EQ(inboxContents(), std::vector<std::string>{message("kept")});
    EXPECT_EQ(names(home / "new"),
              (std::vector<std::string>{"1700000001.swapped.host", "1700000002.replaced.host"}));
    onListed = nullptr;
    EXPECT_EQ(flush("home"), S_OK) << "the file that replaced another moves at the next pass";
    EXPECT_EQ(inboxContents(),
              (std::vector<std::string>{message("another file, same name"), message("kept")}));
    EXPECT_EQ(names(home / "new"), std::vector<std::string>{"1700000001.swapped.host"});
    EXPECT_TRUE(target.untouched());
}

TEST_P(DropEntries, NameWindowsCannotOpenIsDeliveredOnce) {
    writeFile(outside / "starred", message("starred"));
    ASSERT_TRUE(copyFromLinux(outside / "starred", home / "new", "a*b"));
    logon(drops({{L"home", home}}));
    EXPECT_EQ(flush("home"), S_OK);
    EXPECT_EQ(flush("home"), S_OK);
    EXPECT_EQ(inboxContents(), std::vector<std::string>{message("starred")});
    EXPECT_TRUE(names(home / "new").empty());
}

TEST_P(DropEntries, UploadNeitherTakesNorWritesThroughLinks) {
    bool existed = false;
    fixture.files().createFolder("IPM_SUBTREE", "Outbox", existed);
    const std::string reply = fixture.files().deliver("IPM_SUBTREE/Outbox", message("reply"));
    const OutsideFile linked(outside, "key");
    const fs::path outboxNew = fixture.files().directory("IPM_SUBTREE/Outbox") / "new";
    ASSERT_TRUE(symlinkFromLinux(linked.file, outboxNew / "1700000001.key.host"));
    // A second drop whose outgoing side leads elsewhere.
    for (const char* sub : {"tmp", "new", "cur"})
        fs::remove(work / sub);
    ASSERT_TRUE(symlinkFromLinux(outside / "folder", work / "outgoing"));
    logon(drops({{L"home", home}, {L"work", work}}));

    EXPECT_EQ(flush("work", FLUSH_UPLOAD), MAPI_E_NO_ACCESS);
    EXPECT_EQ(flush("home", FLUSH_UPLOAD), S_OK);
    EXPECT_EQ(names(home / "outgoing"), std::vector<std::string>{reply});
    EXPECT_TRUE(names(outside / "folder").empty());
    EXPECT_TRUE(names(work).size() == 1u) << "nothing made in the refused drop";
    EXPECT_EQ(names(outboxNew), std::vector<std::string>{"1700000001.key.host"});
    EXPECT_TRUE(linked.untouched());
    removeTreeFromLinux(work);
    removeTreeFromLinux(outboxNew / "1700000001.key.host");
}

INSTANTIATE_TEST_SUITE_P(OnOneVolume, DropEntries, ::testing::Values(""));
INSTANTIATE_TEST_SUITE_P(AcrossVolumes, DropEntries,
                         ::testing::Values("MailDrop::Rename#1+=0x80070011"));

// Every file of a directory tree, with its content.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
        files[it->path().lexically_relative(root).string()] =
            it->is_directory() ? "(folder)" : devkit::tryReadFile(it->path()).value_or("?");
    return files;
}

TEST_F(MailDrops, DropThatIsTheStoreIsRefusedAndTheStoreLeftAsItIs) {
    fixture.files().deliver(fixture.inbox(), message("in the Inbox"));
    const fs::path calendar = fixture.files().directory("IPM_SUBTREE/Calendar");
    writeFile(calendar / "meeting.ics", "BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n");
    fs::remove(work / "new");
    ASSERT_TRUE(symlinkFromLinux(inboxDir("new"), work / "new"));
    fetch(home, "1700000001.home", message("from home"));
    logon(drops({{L"inbox", fixture.files().directory(fixture.inbox())},
                 {L"calendar", calendar},
                 {L"root", fixture.files().root()},
                 {L"linked", work},
                 {L"home", home}}));
    const auto before = snapshot(fixture.files().root());

    for (const StatusRow& row : statusRows()) {
        if (row.type == MAPI_TRANSPORT_PROVIDER) {
            EXPECT_EQ(row.code, LONG(row.name == "home" ? STATUS_AVAILABLE : STATUS_FAILURE))
                << row.name;
        }
    }
    for (const char* refused : {"inbox", "calendar", "root", "linked"})
        EXPECT_EQ(flush(refused), MAPI_E_NO_ACCESS) << refused;
    EXPECT_EQ(flush("Spooler"), MAPI_E_NO_ACCESS) << "the good drop is flushed all the same";

    auto after = snapshot(fixture.files().root());
    EXPECT_EQ(after.erase("IPM_SUBTREE\\Inbox\\new\\1700000001.home"), 1u);
    EXPECT_EQ(after, before);
    const std::string trace = failureTrace();
    EXPECT_NE(trace.find("mail drop calendar refused, it lies inside the store"), std::string::npos)
        << trace;
    EXPECT_NE(trace.find("mail drop linked refused, its new/ leads into the store"),
              std::string::npos)
        << trace;
    removeTreeFromLinux(work);
}

// Run by the next test in a process of its own: logs on to the same store and flushes every
// drop at the same moment as its parent.
TEST(MailDropChild, DISABLED_FlushesWithItsParent) {
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
    {
        Ref<IMAPISession> session;
        ASSERT_EQ(MAPILogonEx(0, nullptr, nullptr, 0x61, session.put()), S_OK);
        Ref<IMAPITable> table;
        ASSERT_EQ(session->GetStatusTable(0, table.put()), S_OK);
        SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_RESOURCE_TYPE}};
        table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0);
        SRowSet* rows = nullptr;
        ASSERT_EQ(table->QueryRows(10, 0, &rows), S_OK);
        Ref<IMAPIStatus> spooler;
        for (ULONG i = 0; i < rows->cRows; ++i)
            if (rows->aRow[i].lpProps[1].Value.l == MAPI_SPOOLER) {
                const SBinary& id = rows->aRow[i].lpProps[0].Value.bin;
                ULONG type = 0;
                session->OpenEntry(id.cb, reinterpret_cast<ENTRYID*>(id.lpb), nullptr, MAPI_MODIFY,
                                   &type, spooler.putAs<IUnknown>());
            }
        ASSERT_TRUE(spooler);
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, childReady);
        SetEvent(ready);
        CloseHandle(ready);
        EXPECT_EQ(spooler->FlushQueues(0, 0, nullptr, flushAll), S_OK);
        for (ULONG i = 0; i < rows->cRows; ++i)
            MAPIFreeBuffer(rows->aRow[i].lpProps);
        MAPIFreeBuffer(rows);
    }
    MAPIUninitialize();
}

TEST_F(MailDrops, ThousandMessagesArriveOnceEachWhileTwoProcessesFlush) {
    logon(drops({{L"home", home}}));
    RecordingSink sink;
    adviseInbox(sink);
    constexpr int count = 1000;
    std::set<std::string> sent;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "1700000000.M%04d.fetcher", i);
        sent.insert(message("mail " + std::to_string(i)));
        fetch(home, name, message("mail " + std::to_string(i)));
    }

    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, childReady);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    wt::Process child(self, "--gtest_filter=MailDropChild.* --gtest_also_run_disabled_tests");
    EXPECT_EQ(WaitForSingleObject(ready, 30000), WAIT_OBJECT_0);
    CloseHandle(ready);
    EXPECT_EQ(flush("Spooler"), S_OK);
    EXPECT_EQ(child.waitForExit(60000), std::optional<DWORD>(0));

    std::multiset<std::string> arrived;
    for (const auto& file : fixture.files().messages(fixture.inbox()))
        arrived.insert(devkit::readFile(file.file));
    EXPECT_EQ(arrived.size(), size_t(count));
    EXPECT_EQ(std::set<std::string>(arrived.begin(), arrived.end()), sent);
    EXPECT_TRUE(names(home / "new").empty());
    EXPECT_TRUE(names(inboxDir("tmp")).empty());
    EXPECT_TRUE(wt::pumpUntil([&] { return sink.received.size() >= size_t(count); }, 30000));
    std::set<Bytes> announced;
    for (const auto& notice : sink.received)
        announced.insert(notice.id);
    EXPECT_EQ(announced.size(), size_t(count));
    EXPECT_EQ(sink.received.size(), size_t(count)) << "each announced once";
    fixture.logoff();
}

} // namespace
