// Forced delivery: one pass in this process against the kit's status table, the interval, and
// the real tavinel.exe fetching from a mail drop.
#include "app/app_state.h"
#include "debug_output.h"
#include "mail/forced_delivery.h"
#include "mail_fixture.h"
#include "mapi_test_support.h"
#include "res/resource.h"
#include "wine_test.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = devkit::fs;

namespace {

// What a fetcher does: write the message into the drop's tmp/, rename it into new/.
void fetch(const fs::path& drop, const std::string& name, const std::string& subject) {
    fs::create_directories(drop / "tmp");
    fs::create_directories(drop / "new");
    std::ofstream(drop / "tmp" / name, std::ios::binary)
        << "From: Fetcher <fetch@example.org>\r\nSubject: " << subject << "\r\n\r\nBody\r\n";
    fs::rename(drop / "tmp" / name, drop / "new" / name);
}

size_t count(const fs::path& directory) {
    std::error_code error;
    return size_t(std::distance(fs::directory_iterator(directory, error), {}));
}

class Drops {
public:
    Drops() {
        for (const fs::path& drop : {home, work})
            fs::create_directories(drop);
    }
    ~Drops() {
        std::error_code ignored;
        for (const fs::path& drop : {home, work, missing})
            fs::remove_all(drop, ignored);
    }
    const fs::path home = kit::temporaryStoreRoot(L"tavinel-drop-home-");
    const fs::path work = kit::temporaryStoreRoot(L"tavinel-drop-work-");
    const fs::path missing = kit::temporaryStoreRoot(L"tavinel-drop-missing-");
};

std::wstring transports(std::initializer_list<std::pair<const wchar_t*, fs::path>> pairs) {
    std::wstring setting;
    for (const auto& [name, directory] : pairs)
        setting += std::wstring(name) + L"=" + directory.native() + L";";
    return setting;
}

class ForcedDeliveryPass : public ::testing::Test {
protected:
    // The kit reads its switches when the session starts.
    void start(const std::wstring& drops, const std::string& faults = {}) {
        mail.store.setTransports(drops);
        mail.store.setFaults(faults);
        ASSERT_EQ(mail.start(), 1);
    }

    Drops drops;
    wt::MailFixture mail;
};

// One pass

TEST_F(ForcedDeliveryPass, FlushesTheSpoolerThenEachTransportInTableOrder) {
    start(transports({{L"home", drops.home}, {L"work", drops.work}}));
    fetch(drops.work, "1700000000.A.fetcher", "Fetched for you");
    wt::DebugOutput debug;
    forceDelivery();

    EXPECT_EQ(kit::providerFlushLog(),
              (std::vector<std::string>{"Spooler 0x1E 0x00000000", "home 0x1E 0x00000000",
                                        "work 0x1E 0x00000000"}))
        << "the store and address-book rows are not flushed";
    EXPECT_TRUE(debug.strings().empty());
    EXPECT_TRUE(wt::pumpUntil([&] { return mail.subjectLine() == "Fetched for you"; }));
    EXPECT_EQ(mail.historyCount(), 1);
}

TEST_F(ForcedDeliveryPass, AFailedFlushIsReportedAndTheNextRowsAreStillFlushed) {
    start(transports({{L"offline", drops.missing}, {L"home", drops.home}}));
    fetch(drops.home, "1700000000.B.fetcher", "Still delivered");
    wt::DebugOutput debug;
    forceDelivery();

    // The spooler fails for the missing drop, after flushing the others; so does that drop.
    EXPECT_EQ(kit::providerFlushLog(),
              (std::vector<std::string>{"Spooler 0x1E 0x80040115", "offline 0x1E 0x80040115",
                                        "home 0x1E 0x00000000"}));
    EXPECT_EQ(debug.strings(), (std::vector<std::string>{"error flush\n", "error flush\n"}));
    EXPECT_TRUE(wt::pumpUntil([&] { return mail.subjectLine() == "Still delivered"; }));
}

TEST_F(ForcedDeliveryPass, AStatusObjectThatCannotBeOpenedIsSkippedSilently) {
    start(transports({{L"home", drops.home}, {L"work", drops.work}}),
          "IMAPISession::OpenEntry#2=0x8004010F");
    wt::DebugOutput debug;
    const long buffers = kit::providerLiveBuffers(), objects = kit::providerLiveObjects();
    forceDelivery();
    EXPECT_EQ(kit::providerFlushLog(),
              (std::vector<std::string>{"Spooler 0x1E 0x00000000", "work 0x1E 0x00000000"}));
    EXPECT_TRUE(debug.strings().empty());
    EXPECT_EQ(kit::providerLiveBuffers(), buffers) << "the row set is given back";
    EXPECT_EQ(kit::providerLiveObjects(), objects) << "the table and status objects too";
}

TEST_F(ForcedDeliveryPass, NothingWithoutSessionStatusTableOrRows) {
    start(transports({{L"home", drops.home}}), "IMAPISession::GetStatusTable#1=0x80004005");
    wt::DebugOutput debug;
    forceDelivery(); // no table
    IMAPISession* session = app->session.exchange(nullptr);
    forceDelivery(); // no session
    app->session = session;
    EXPECT_TRUE(kit::providerFlushLog().empty());
    EXPECT_TRUE(debug.strings().empty());
}

TEST(ForcedDeliveryEmptyTable, FlushesNothing) {
    wt::MailFixture mail;
    mail.store.setStatus("empty");
    ASSERT_EQ(mail.start(), 1);
    wt::DebugOutput debug;
    forceDelivery();
    EXPECT_TRUE(kit::providerFlushLog().empty());
    EXPECT_TRUE(debug.strings().empty());
}

// The interval

TEST(ForcedDeliveryInterval, IsSixSecondsAUnitAndAZeroBecomesOne) {
    wt::ProgramWindow program;
    app->msMailServerTime = 0;
    EXPECT_EQ(forcedDeliveryInterval(), 6000u);
    EXPECT_EQ(app->msMailServerTime, 1u);
    app->msMailServerTime = 10;
    EXPECT_EQ(forcedDeliveryInterval(), 60000u);
    EXPECT_EQ(app->msMailServerTime, 10u);
}

TEST(ForcedDeliveryInterval, LargeSettingsSleepAsLongAsWindowsAllowsInsteadOfWrapping) {
    wt::ProgramWindow program;
    app->msMailServerTime = 715827; // 4,294,962,000 ms still fits in 32 bits
    EXPECT_EQ(forcedDeliveryInterval(), 4294962000u);
    for (uint32_t units : {715828u, 0xFFFFFFFFu}) { // 32-bit products: 704 ms and 4,294,961,296
        app->msMailServerTime = units;
        EXPECT_EQ(forcedDeliveryInterval(), INFINITE - 1) << units;
    }
}

// The real program

class RunningProgram : public ::testing::Test {
protected:
    void SetUp() override {
        key.writeValid();
        key.setNumber("MSMailServerTime", 1); // the shortest interval: 6 seconds
        store.setTransports(transports({{L"home", drops.home}}));
    }
    void TearDown() override { wt::exitProgram(program, window); }
    void start() {
        window = wt::startProgram(program);
        ASSERT_NE(window, nullptr);
    }
    std::string subject() const { return wt::controlText(window, IDC_SUBJECT); }

    static constexpr DWORD intervalMs = 6000;
    wt::ConfigurationKey key;
    wt::KitStore store;
    Drops drops;
    std::unique_ptr<wt::Process> program;
    HWND window = nullptr;
};

TEST_F(RunningProgram, ShowsMailFromADropWithinOneIntervalAndOnce) {
    key.setNumber("MSMailServer", 1);
    start();
    fetch(drops.home, "1700000000.C.fetcher", "Polled in");
    ASSERT_TRUE(wt::pumpUntil([&] { return subject() == "Polled in"; }, intervalMs + 3000));
    wt::pumpFor(intervalMs + 1000); // one more pass finds nothing new
    EXPECT_EQ(wt::listViewCount(GetDlgItem(window, IDC_HISTORY)), 1);
    EXPECT_EQ(count(drops.home / "new"), 0u);
    EXPECT_EQ(store.files.messages(store.inbox).size(), 1u);
}

// A wait that does not count the time asleep would leave the mail in the drop for a whole
// interval after the computer resumes.
TEST_F(RunningProgram, ResumeFromSleepFetchesAtOnce) {
    key.setNumber("MSMailServer", 1);
    key.setNumber("MSMailServerTime", 100); // ten minutes
    start();
    fetch(drops.home, "1700000000.E.fetcher", "Fetched on waking");
    wt::pumpFor(1000);
    ASSERT_NE(subject(), "Fetched on waking");
    PostMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    EXPECT_TRUE(wt::pumpUntil([&] { return subject() == "Fetched on waking"; }, 5000));
    EXPECT_EQ(count(drops.home / "new"), 0u);
}

TEST_F(RunningProgram, WithTheOptionOffMailStaysInTheDrop) {
    start();
    fetch(drops.home, "1700000000.D.fetcher", "Left waiting");
    PostMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0); // fetches nothing either
    wt::pumpFor(intervalMs + 2000);
    EXPECT_EQ(count(drops.home / "new"), 1u);
    EXPECT_NE(subject(), "Left waiting");
}

} // namespace
