// Read now, and one Delete, with the real tavinel.exe, the kit's store and the kit's reader:
// what reaches the reader, what the user sees, and what stays as it was.
#include "kit_reader.h"
#include "kit_store.h"
#include "res/resource.h"
#include "wine_test.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class ReadNow : public ::testing::Test {
protected:
    void SetUp() override {
        key.writeValid(); // Outlook
        marker = std::filesystem::temp_directory_path() /
                 ("reader-ran-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::remove(marker);
        SetEnvironmentVariableA("TAVINEL_TEST_MARKER", marker.string().c_str());
    }
    void TearDown() override {
        wt::exitProgram(program, window);
        std::filesystem::remove(marker);
    }
    void start() {
        window = wt::startProgram(program);
        ASSERT_NE(window, nullptr);
    }
    std::string control(int id) const { return wt::controlText(window, id); }
    HWND history() const { return GetDlgItem(window, IDC_HISTORY); }
    std::string arrive(const std::string& subject) {
        const std::string unique = store.deliver("Ann Example <ann@example.org>", subject);
        EXPECT_TRUE(wt::pumpUntil([&] { return control(IDC_SUBJECT) == subject; })) << subject;
        return unique;
    }
    // The first command may wait for the reader's server to start, seconds on a busy machine.
    std::optional<wt::MessageBoxText> command(WPARAM id) {
        PostMessageA(window, WM_COMMAND, id, 0);
        return wt::dismissMessageBox(program->id(), 15000);
    }
    std::string getItemCall(const std::string& unique) const {
        return "GetItemFromID(\"" + wt::hexText(store.messageId(unique)) + "\", \"" +
               wt::hexText(devkit::storeEntryId(store.files.uid())) + "\") -> MailItem";
    }
    static std::string markerReader() { return wt::binaryDir() + "\\marker_reader.exe"; }

    wt::ConfigurationKey key;
    wt::KitStore store;
    wt::KitReader reader;
    std::filesystem::path marker;
    std::unique_ptr<wt::Process> program;
    HWND window = nullptr;
};

TEST_F(ReadNow, OpensExactlyTheMailShownEachTimeAndChangesNothing) {
    key.setText("MailReaderPath", markerReader());
    start();
    const std::string first = arrive("Lunch at noon?");
    arrive("Build is green");
    const std::string line = control(IDC_SENDER);
    PostMessageA(window, WM_COMMAND, ID_READ_NOW, 0);
    ASSERT_NE(wt::KitReader::waitForWindow("Build is green"), nullptr);
    PostMessageA(window, WM_COMMAND, ID_READ_NOW_SYNONYM, 0);
    // Nothing cached: a second reading, which brings the open window forward.
    const auto displays = [&] {
        int count = 0;
        for (const std::string& logged : reader.log())
            count += logged == "Display() -> window \"Build is green\"";
        return count;
    };
    ASSERT_TRUE(wt::pumpUntil([&] { return displays() == 2; }, 15000)) << "a second reading";
    EXPECT_EQ(wt::KitReader::windows().size(), 1u);
    EXPECT_TRUE(reader.waitForNoObjects()) << "every reference released";
    EXPECT_TRUE(reader.waitForLine("Logon(missing, missing, missing, missing)"));
    int localeLines = 0; // every name and call in the user's default locale
    for (const std::string& line : reader.log())
        if (line.starts_with("Invoke(") || line.starts_with("GetIDsOfNames(")) {
            ++localeLines;
            EXPECT_TRUE(line.ends_with(" locale 0x0400")) << line;
        }
    EXPECT_EQ(localeLines, 10) << "two readings of four calls and one name each";
    EXPECT_FALSE(reader.waitForLine(getItemCall(first), 0));
    EXPECT_EQ(wt::listViewCount(history()), 2);
    EXPECT_EQ(control(IDC_SENDER), line);
    EXPECT_FALSE(std::filesystem::exists(marker)) << "Outlook chosen: no reader started";

    PostMessageA(window, WM_COMMAND, ID_READ_WITH_READER, 0);
    EXPECT_TRUE(wt::pumpUntil([&] { return std::filesystem::exists(marker); }))
        << "this command starts the reader whatever the choice";
}

// A mail client that is starting or shows a dialog turns calls away for a while.
TEST_F(ReadNow, BusyMailClientRejectingCallsStillOpensTheMail) {
    start();
    arrive("Read despite a busy client");
    reader.setRejectCalls(3);
    PostMessageA(window, WM_COMMAND, ID_READ_NOW, 0);
    EXPECT_NE(wt::KitReader::waitForWindow("Read despite a busy client", 15000), nullptr);
    EXPECT_FALSE(wt::dismissMessageBox(program->id(), 500)) << "no \"No mail to read\"";
    int rejected = 0;
    for (const std::string& line : reader.log())
        rejected += line.starts_with("Busy: call rejected");
    EXPECT_EQ(rejected, 3);
}

TEST_F(ReadNow, NoMailToReadWhenNoneIsShownItIsGoneOrTheReaderFails) {
    start();
    auto box = command(ID_READ_NOW);
    ASSERT_TRUE(box) << "nothing shown yet";
    EXPECT_EQ(box->caption, "INFO");
    EXPECT_EQ(box->text, "No mail to read");

    const std::string gone = arrive("Deleted elsewhere");
    ASSERT_TRUE(store.files.deleteMessage(store.inbox, gone));
    const std::string line = control(IDC_SENDER);
    for (const char* fault :
         {"", "NameSpace::Logon#1=0x80040111", "MailItem::Display#1=0x80004005"}) {
        SCOPED_TRACE(fault);
        if (*fault) {
            const std::string kept = arrive("Kept");
            store.setFaults(fault);
        }
        reader.clearLog();
        box = command(ID_READ_NOW);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text, "No mail to read");
        EXPECT_TRUE(reader.waitForNoObjects()) << "references released on failure too";
        EXPECT_TRUE(wt::KitReader::windows().empty());
        store.setFaults({});
    }
    EXPECT_EQ(wt::listViewCount(history()), 3) << "the history stays";
}

// The external reader: a path that names no program gives one box saying why, without owner;
// one never set up says so instead of showing an empty path; a program that exists is started
// even with no mail shown.
TEST_F(ReadNow, ExternalReaderIsStartedOrTheBoxSaysWhyNot) {
    struct Case {
        const char* path;
        const char* shownPath;
    };
    const Case cases[] = {{"C:\\nowhere\\reader.exe", "C:\\nowhere\\reader.exe"},
                          {nullptr, "(no mail reader is set up: choose one in Configure...)"}};
    key.setNumber("OutLook", 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shownPath);
        if (c.path)
            key.setText("MailReaderPath", c.path);
        else
            RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Brunok\\Tavinel", "MailReaderPath");
        start();
        const auto box = command(ID_READ_NOW);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->caption, "Error");
        EXPECT_TRUE(
            box->text.starts_with("Cannot execute\n" + std::string(c.shownPath) + "\nError is:\n"))
            << box->text;
        EXPECT_GT(box->text.size(), std::string(c.shownPath).size() + 30) << "the system's text";
        ASSERT_TRUE(wt::pumpUntil([&] { return !wt::findWindow("Error", program->id()); }));
        EXPECT_FALSE(wt::dismissMessageBox(program->id(), 300)) << "one box";
        PostMessageA(window, WM_COMMAND, ID_EXIT, 0);
        program->waitForExit();
    }

    key.setText("MailReaderPath", markerReader());
    start();
    PostMessageA(window, WM_COMMAND, ID_READ_NOW, 0);
    EXPECT_TRUE(wt::pumpUntil([&] { return std::filesystem::exists(marker); }));
}

TEST_F(ReadNow, DeleteTakesTheFileOutOfTheMaildirAndItsLineOutOfTheHistory) {
    start();
    arrive("Stays");
    const std::string unique = arrive("Goes");
    PostMessageA(window, WM_COMMAND, ID_DELETE, 0);
    const HWND confirmation = wt::waitForDialog("WARNING", program->id());
    ASSERT_NE(confirmation, nullptr);
    wt::clickButton(confirmation, IDYES);
    EXPECT_TRUE(wt::pumpUntil([&] { return !store.files.findMessage(store.inbox, unique); }));
    EXPECT_TRUE(wt::pumpUntil([&] { return control(IDC_SUBJECT) == "Stays"; }));
    ASSERT_EQ(wt::listViewCount(history()), 1);
    EXPECT_EQ(wt::listViewText(history(), 0, 1), "Stays");
}

} // namespace
