// The real tavinel.exe against a kit store: mail delivered from outside is seen from outside;
// and every way the mail session can fail ends the program cleanly.
#include "kit_store.h"
#include "res/resource.h"
#include "wine_test.h"

#include <gtest/gtest.h>

namespace {

constexpr char windowTitle[] = "Tavinel 2.0";

class RunningProgram : public ::testing::Test {
protected:
    void SetUp() override { key.writeValid(); }
    void TearDown() override { wt::exitProgram(program, window); }
    void start() {
        window = wt::startProgram(program);
        ASSERT_NE(window, nullptr);
    }
    std::string control(int id) const { return wt::controlText(window, id); }
    HWND history() const { return GetDlgItem(window, IDC_HISTORY); }

    wt::ConfigurationKey key;
    wt::KitStore store;
    std::unique_ptr<wt::Process> program;
    HWND window = nullptr;
};

TEST_F(RunningProgram, ShowsDeliveredMailAndItsHistory) {
    bool existed = false;
    store.files.createFolder(store.inbox, "Projects", existed);
    start();
    store.deliver("Ann Example <ann@example.org>", "Lunch at noon?", "Shall we meet\nat noon?");
    ASSERT_TRUE(wt::pumpUntil([&] { return control(IDC_SENDER).ends_with("Ann Example"); }))
        << control(IDC_SENDER);
    EXPECT_EQ(control(IDC_SUBJECT), "Lunch at noon?");
    EXPECT_EQ(control(IDC_PREVIEW), "Shall we meet\r\nat noon?");
    EXPECT_TRUE(IsWindowVisible(window)) << "shown on new mail";

    store.deliver("bob@example.org", "Build is green", "x", store.inbox + "/Projects");
    ASSERT_TRUE(wt::pumpUntil([&] { return control(IDC_SUBJECT) == "Build is green"; }));
    ASSERT_EQ(wt::listViewCount(history()), 2);
    EXPECT_EQ(wt::listViewText(history(), 0, 0), "bob@example.org");
    EXPECT_EQ(wt::listViewText(history(), 0, 1), "Build is green");
    EXPECT_EQ(wt::listViewText(history(), 1, 0), "Ann Example");
    EXPECT_EQ(wt::listViewText(history(), 1, 1), "Lunch at noon?");

    PostMessageA(window, WM_COMMAND, ID_CLOSE, 0);
    ASSERT_TRUE(wt::pumpUntil([&] { return !IsWindowVisible(window); }));
    wt::postTrayMouse(window, WM_LBUTTONDOWN);
    wt::pumpFor(400);
    EXPECT_FALSE(IsWindowVisible(window)) << "nothing pending after Close";

    store.deliver("carol@example.org", "Third", "x");
    ASSERT_TRUE(wt::pumpUntil([&] { return control(IDC_SUBJECT) == "Third"; }));
    PostMessageA(window, WM_COMMAND, ID_CLOSE, 0);
    ASSERT_TRUE(wt::pumpUntil([&] { return !IsWindowVisible(window); }));
    key.setNumber("DisplayWindow", 0); // read only at start-up and after Configure
    store.deliver("dave@example.org", "Fourth", "x");
    ASSERT_TRUE(wt::pumpUntil([&] { return control(IDC_SUBJECT) == "Fourth"; }));
    wt::postTrayMouse(window, WM_LBUTTONDOWN);
    EXPECT_TRUE(wt::pumpUntil([&] { return IsWindowVisible(window) != FALSE; }))
        << "a left click opens the window while mail is pending";

    PostMessageA(window, WM_COMMAND, ID_EXIT, 0);
    EXPECT_EQ(program->waitForExit(), std::optional<DWORD>(0));
}

// Each way the session can fail: the program shows the logon message or nothing, ends with
// code 0, and never crashes.
struct SessionFailure {
    const char* name;
    const char* faults;
    const char* logon;
    bool withoutIpmSubtree;
    bool withSubfolder;
    bool withCalendar;
    bool showsMessage;
    const char* stores = ""; // how the kit shows its store in the stores table
};

class SessionFailures : public ::testing::TestWithParam<SessionFailure> {};

TEST_P(SessionFailures, EndTheProgramCleanly) {
    const SessionFailure& failure = GetParam();
    wt::ConfigurationKey key;
    key.writeValid();
    wt::KitStore store;
    bool existed = false;
    if (failure.withoutIpmSubtree)
        store.dropIpmSubtree();
    if (failure.withSubfolder)
        store.files.createFolder(store.inbox, "Projects", existed);
    if (failure.withCalendar) {
        key.setNumber("Calendar", 1);
        store.files.createFolder("IPM_SUBTREE", "Calendar", existed);
    }
    store.setFaults(failure.faults);
    store.setLogon(failure.logon);
    store.setStores(failure.stores);

    wt::Process program(wt::tavinelExe());
    if (failure.showsMessage) {
        auto box = wt::dismissMessageBox(program.id(), 15000);
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(box->text, "Cannot establish a messaging session");
        EXPECT_EQ(box->caption, "Error");
        EXPECT_EQ(box->icon, nullptr);
    }
    EXPECT_EQ(program.waitForExit(15000), std::optional<DWORD>(0))
        << "a silent failure must not wait for anyone";
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, SessionFailures,
    ::testing::Values(
        SessionFailure{"InitialiseFails", "MAPIInitialize#1=0x80004005", "", false, false, false,
                       true},
        SessionFailure{"LogonFails", "", "fail", false, false, false, true},
        SessionFailure{"LogonCancelled", "", "cancel", false, false, false, false},
        SessionFailure{"StoresTable", "IMAPISession::GetMsgStoresTable#1=0x80004005", "", false,
                       false, false, false},
        SessionFailure{"EmptyStoresTable", "", "", false, false, false, false, "empty"},
        SessionFailure{"NoDefaultStore", "", "", false, false, false, false, "nodefault"},
        SessionFailure{"RowCount", "IMAPITable::GetRowCount#1=0x80004005", "", false, false, false,
                       false},
        SessionFailure{"SetColumns", "IMAPITable::SetColumns#1=0x80004005", "", false, false, false,
                       false},
        SessionFailure{"SeekRow", "IMAPITable::SeekRow#1=0x80004005", "", false, false, false,
                       false},
        SessionFailure{"QueryDefaultRow", "IMAPITable::QueryRows#1=0x80004005", "", false, false,
                       false, false},
        SessionFailure{"QueryStoreId", "IMAPITable::QueryRows#2=0x80004005", "", false, false,
                       false, false},
        SessionFailure{"AllocateStoreId", "MAPIAllocateBuffer#1=0x8007000E", "", false, false,
                       false, false},
        SessionFailure{"OpenStore", "IMAPISession::OpenMsgStore#1=0x80004005", "", false, false,
                       false, false},
        SessionFailure{"OpenRootForSubtree", "IMsgStore::OpenEntry#1=0x80004005", "", true, false,
                       false, false},
        SessionFailure{"CreateSubtree", "IMAPIFolder::CreateFolder#1=0x80004005", "", true, false,
                       false, false},
        SessionFailure{"SaveSubtree", "IMAPIFolder::SaveChanges#1=0x80004005", "", true, false,
                       false, false},
        SessionFailure{"ReadSubtreeId", "IMAPIFolder::GetProps#1=0x80004005", "", true, false,
                       false, false},
        SessionFailure{"RecordSubtree", "IMsgStore::SetProps#1=0x80004005", "", true, false, false,
                       false},
        SessionFailure{"InboxNotFound", "IMsgStore::GetReceiveFolder#1=0x8004010F", "", false,
                       false, false, false},
        SessionFailure{"OpenInbox", "IMsgStore::OpenEntry#1=0x80004005", "", false, false, false,
                       false},
        SessionFailure{"AdviseInbox", "IMsgStore::Advise#1=0x80004005", "", false, false, false,
                       false},
        SessionFailure{"AdviseSubfolder", "IMsgStore::Advise#2=0x80004005", "", false, true, false,
                       false},
        SessionFailure{"AllocateSubfolderId", "MAPIAllocateBuffer#2=0x8007000E", "", false, true,
                       false, false},
        SessionFailure{"CalendarTable", "IMAPIFolder::GetHierarchyTable#2=0x80004005", "", false,
                       false, true, false},
        SessionFailure{"AdviseCalendar", "IMsgStore::Advise#2=0x80004005", "", false, false, true,
                       false},
        SessionFailure{"OpenRootAtTheEnd", "IMsgStore::OpenEntry#2=0x80004005", "", false, false,
                       false, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
