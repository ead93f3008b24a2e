// The setup dialog in this process: what it shows for a configuration, what OK writes, the
// refusal without a mail reader, and the browse buttons through the file dialog seam. The dialog
// runs modally on a thread of its own and is driven from the test's thread with messages.
#include "app/app_state.h"
#include "app/configuration.h"
#include "app/setup_dialog.h"
#include "res/resource.h"
#include "wine_test.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr char setupTitle[] = "Setup of Tavinel 2.0 ";

// One modal run of the dialog, as start-up and Configure... run it.
class SetupDialogRun {
public:
    SetupDialogRun() {
        thread_ = CreateThread(nullptr, 0, &SetupDialogRun::run, this, 0, nullptr);
        dialog = wt::waitForDialog(setupTitle, GetCurrentProcessId(), 5000);
    }
    ~SetupDialogRun() {
        if (running()) {
            // A failed test may have left the refusal open.
            if (HWND box = FindWindowA("#32770", "Stop"))
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
    }
    SetupDialogRun(const SetupDialogRun&) = delete;
    SetupDialogRun& operator=(const SetupDialogRun&) = delete;

    bool running() const { return WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT; }
    // The dialog's result once it has ended.
    std::optional<INT_PTR> result(DWORD timeoutMs = 5000) {
        if (!wt::pumpUntil([&] { return !running(); }, timeoutMs))
            return std::nullopt;
        return result_;
    }

    // A click that returns once the dialog has handled it.
    void click(int control) { SendMessageA(GetDlgItem(dialog, control), BM_CLICK, 0, 0); }
    void type(int control, const char* text) {
        SendMessageA(GetDlgItem(dialog, control), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
    std::string text(int control) const { return wt::controlText(dialog, control); }
    bool checked(int control) const { return wt::isChecked(dialog, control); }
    bool enabled(int control) const { return wt::isEnabled(dialog, control); }
    // OK, posted: a refusal opens a message box that the test must answer first.
    void pressOk() { wt::clickButton(dialog, IDOK); }

    HWND dialog = nullptr;

private:
    static DWORD WINAPI run(LPVOID self) {
        static_cast<SetupDialogRun*>(self)->result_ = runSetupDialog();
        return 0;
    }
    HANDLE thread_ = nullptr;
    INT_PTR result_ = -2;
};

// What the browse buttons asked the file dialog, and what it answers.
struct FileDialogCall {
    HWND owner;
    HINSTANCE instance;
    std::vector<std::string> filter;
    std::string initialFile;
    DWORD maxFile;
    DWORD flags;
    DWORD filterIndex;
    bool titleOrDirectory;
};
std::vector<FileDialogCall> fileDialogCalls;
std::optional<std::string> fileDialogChoice; // nothing: the user cancels

BOOL WINAPI fakeFileDialog(LPOPENFILENAMEA request) {
    FileDialogCall call{request->hwndOwner,
                        request->hInstance,
                        {},
                        request->lpstrFile,
                        request->nMaxFile,
                        request->Flags,
                        request->nFilterIndex,
                        request->lpstrTitle || request->lpstrInitialDir};
    for (const char* item = request->lpstrFilter; item && *item; item += std::strlen(item) + 1)
        call.filter.emplace_back(item);
    fileDialogCalls.push_back(call);
    if (!fileDialogChoice)
        return FALSE;
    lstrcpynA(request->lpstrFile, fileDialogChoice->c_str(), int(request->nMaxFile));
    return TRUE;
}

class SetupDialog : public ::testing::Test {
protected:
    void SetUp() override {
        app = new AppState();
        app->instance = GetModuleHandleA(nullptr);
        fileDialogCalls.clear();
        fileDialogChoice.reset();
        realFileDialog = getOpenFileName;
        getOpenFileName = &fakeFileDialog;
    }
    void TearDown() override {
        getOpenFileName = realFileDialog;
        delete app;
        app = nullptr;
    }

    wt::ConfigurationKey key; // starts empty
    GetOpenFileNameFn realFileDialog = nullptr;
};

// What the dialog shows

TEST_F(SetupDialog, EmptyConfigurationShowsEverythingOffAndOtherSelected) {
    SetupDialogRun setup;
    ASSERT_NE(setup.dialog, nullptr);
    for (int box :
         {IDC_MSMAIL_SERVER, IDC_TIMER_ENABLED, IDC_PLAY_SOUND, IDC_DISPLAY_WINDOW, IDC_CALENDAR}) {
        EXPECT_FALSE(setup.checked(box)) << box;
        EXPECT_TRUE(setup.enabled(box)) << box;
    }
    for (int off : {IDC_POLLING_TIME, IDC_SOUND_FILE, IDC_BROWSE_SOUND, IDC_TIMER})
        EXPECT_FALSE(setup.enabled(off)) << off;
    EXPECT_EQ(setup.text(IDC_POLLING_TIME), "0");
    EXPECT_EQ(setup.text(IDC_TIMER), "0");
    EXPECT_EQ(setup.text(IDC_SOUND_FILE), "");
    EXPECT_FALSE(setup.checked(IDC_OUTLOOK));
    EXPECT_TRUE(setup.checked(IDC_OTHER_READER));
    EXPECT_TRUE(setup.enabled(IDC_READER_PATH));
    EXPECT_TRUE(setup.enabled(IDC_BROWSE_READER));
    EXPECT_EQ(setup.text(IDC_READER_PATH), "");

    HDC dc = GetDC(setup.dialog);
    EXPECT_EQ(SendMessageA(setup.dialog, WM_CTLCOLORDLG, WPARAM(dc), LPARAM(setup.dialog)),
              LRESULT(GetStockObject(LTGRAY_BRUSH)))
        << "light-grey background";
    ReleaseDC(setup.dialog, dc);
}

TEST_F(SetupDialog, StoredConfigurationIsShownAndTheSoundBrowseWaitsForItsCheckBox) {
    app->timerEnabled = 1;
    app->timer = 30;
    app->msMailServer = 1;
    app->msMailServerTime = 50;
    app->playSound = 1;
    char wav[] = "C:\\sounds\\ding.wav";
    app->wavFile = wav;
    app->displayWindow = 1;
    app->calendar = 1;
    app->outlook = 1;
    char reader[] = "C:\\mail\\reader.exe";
    app->mailReaderPath = reader;

    SetupDialogRun setup;
    ASSERT_NE(setup.dialog, nullptr);
    EXPECT_TRUE(setup.checked(IDC_TIMER_ENABLED));
    EXPECT_TRUE(setup.enabled(IDC_TIMER));
    EXPECT_EQ(setup.text(IDC_TIMER), "30");
    EXPECT_TRUE(setup.checked(IDC_MSMAIL_SERVER));
    EXPECT_TRUE(setup.enabled(IDC_POLLING_TIME));
    EXPECT_EQ(setup.text(IDC_POLLING_TIME), "50");
    EXPECT_TRUE(setup.checked(IDC_DISPLAY_WINDOW));
    EXPECT_TRUE(setup.checked(IDC_CALENDAR));
    EXPECT_TRUE(setup.checked(IDC_OUTLOOK));
    EXPECT_FALSE(setup.checked(IDC_OTHER_READER));
    EXPECT_FALSE(setup.enabled(IDC_READER_PATH));
    EXPECT_FALSE(setup.enabled(IDC_BROWSE_READER));
    EXPECT_EQ(setup.text(IDC_READER_PATH), "") << "the reader is shown only for Other";

    EXPECT_TRUE(setup.checked(IDC_PLAY_SOUND));
    EXPECT_TRUE(setup.enabled(IDC_SOUND_FILE));
    EXPECT_EQ(setup.text(IDC_SOUND_FILE), wav);
    EXPECT_FALSE(setup.enabled(IDC_BROWSE_SOUND)) << "follows the check box only once clicked";
    setup.click(IDC_PLAY_SOUND);
    EXPECT_FALSE(setup.checked(IDC_PLAY_SOUND));
    EXPECT_FALSE(setup.enabled(IDC_SOUND_FILE));
    EXPECT_FALSE(setup.enabled(IDC_BROWSE_SOUND));
    setup.click(IDC_PLAY_SOUND);
    EXPECT_TRUE(setup.enabled(IDC_SOUND_FILE));
    EXPECT_TRUE(setup.enabled(IDC_BROWSE_SOUND));
}

TEST_F(SetupDialog, FlagsAreReadTheWayEachControlTestsThem) {
    app->timerEnabled = 2; // counts only as exactly 1
    app->msMailServer = 2; // counts when non-zero
    app->playSound = 1;    // but there is no sound file at all
    app->outlook = 2;      // any non-zero value selects Outlook here
    {
        SetupDialogRun setup;
        ASSERT_NE(setup.dialog, nullptr);
        EXPECT_FALSE(setup.checked(IDC_TIMER_ENABLED));
        EXPECT_FALSE(setup.enabled(IDC_TIMER));
        EXPECT_TRUE(setup.checked(IDC_MSMAIL_SERVER));
        EXPECT_FALSE(setup.checked(IDC_PLAY_SOUND));
        EXPECT_FALSE(setup.enabled(IDC_SOUND_FILE));
        EXPECT_TRUE(setup.checked(IDC_OUTLOOK));
    }
    app->outlook = 0;
    char reader[] = "C:\\mail\\reader.exe";
    app->mailReaderPath = reader;
    char empty[] = "";
    app->wavFile = empty;
    {
        SetupDialogRun setup;
        ASSERT_NE(setup.dialog, nullptr);
        EXPECT_TRUE(setup.checked(IDC_OTHER_READER));
        EXPECT_EQ(setup.text(IDC_READER_PATH), reader);
        EXPECT_TRUE(setup.checked(IDC_PLAY_SOUND)) << "an empty sound file is still a setting";
        EXPECT_TRUE(setup.enabled(IDC_SOUND_FILE));
    }
    app->playSound = 2; // counts only as exactly 1, also with a sound file
    {
        SetupDialogRun setup;
        ASSERT_NE(setup.dialog, nullptr);
        EXPECT_FALSE(setup.checked(IDC_PLAY_SOUND));
        EXPECT_FALSE(setup.enabled(IDC_SOUND_FILE));
    }
}

// Closing without OK

TEST_F(SetupDialog, CancelEscAndTheCloseBoxEndWithZeroAndWriteNothing) {
    const auto changeEverything = [](SetupDialogRun& setup) {
        setup.click(IDC_OUTLOOK);
        setup.click(IDC_TIMER_ENABLED);
        setup.click(IDC_CALENDAR);
    };
    {
        SetupDialogRun setup;
        ASSERT_NE(setup.dialog, nullptr);
        changeEverything(setup);
        wt::clickButton(setup.dialog, IDCANCEL);
        EXPECT_EQ(setup.result(), std::optional<INT_PTR>(0));
    }
    {
        SetupDialogRun setup;
        ASSERT_NE(setup.dialog, nullptr);
        changeEverything(setup);
        PostMessageA(setup.dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_EQ(setup.result(), std::optional<INT_PTR>(0)) << "Esc";
    }
    {
        SetupDialogRun setup;
        ASSERT_NE(setup.dialog, nullptr);
        changeEverything(setup);
        PostMessageA(setup.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(setup.result(), std::optional<INT_PTR>(0)) << "close box";
    }
    EXPECT_EQ(key.valueCount(), 0u);
    EXPECT_EQ(app->timerEnabled, 0u);
}

// OK

TEST_F(SetupDialog, OkWithOtherAndNoReaderIsRefusedAndKeepsWhatItWrote) {
    SetupDialogRun setup;
    ASSERT_NE(setup.dialog, nullptr);
    setup.pressOk();
    auto box = wt::dismissMessageBox(GetCurrentProcessId(), 5000, setup.dialog);
    ASSERT_TRUE(box.has_value()) << "no refusal";
    EXPECT_EQ(box->caption, "Stop");
    EXPECT_EQ(box->text, "You have to enter a valid mail reader");
    EXPECT_EQ(box->icon, LoadIconA(nullptr, IDI_ERROR));

    wt::pumpFor(100);
    EXPECT_TRUE(setup.running()) << "the dialog stays open";
    EXPECT_EQ(key.number("MSMailServer"), std::optional<DWORD>(0));
    EXPECT_EQ(key.number("TimerEnabled"), std::optional<DWORD>(0));
    EXPECT_EQ(key.number("OutLook"), std::optional<DWORD>(0));
    for (const char* notYet : {"MailReaderPath", "WavFile", "PlaySound", "Version"})
        EXPECT_FALSE(key.has(notYet)) << notYet;
    EXPECT_EQ(loadConfiguration(), 0) << "still no configuration";

    setup.type(IDC_READER_PATH, "C:\\mail\\reader.exe");
    setup.pressOk();
    EXPECT_EQ(setup.result(), std::optional<INT_PTR>(1));
    EXPECT_EQ(key.text("MailReaderPath"), std::optional<std::string>("C:\\mail\\reader.exe"));
    EXPECT_EQ(key.number("Version"), std::optional<DWORD>(12));
    ASSERT_EQ(loadConfiguration(), 1);
    EXPECT_STREQ(app->mailReaderPath, "C:\\mail\\reader.exe");
}

TEST_F(SetupDialog, OutlookAndOkWriteACompleteConfigurationWithoutAReader) {
    SetupDialogRun setup;
    ASSERT_NE(setup.dialog, nullptr);
    setup.type(IDC_READER_PATH, "C:\\mail\\reader.exe");
    setup.click(IDC_OUTLOOK);
    EXPECT_TRUE(setup.checked(IDC_OUTLOOK));
    EXPECT_FALSE(setup.checked(IDC_OTHER_READER));
    EXPECT_FALSE(setup.enabled(IDC_READER_PATH));
    EXPECT_FALSE(setup.enabled(IDC_BROWSE_READER));
    setup.pressOk();
    ASSERT_EQ(setup.result(), std::optional<INT_PTR>(1));

    EXPECT_EQ(key.number("Version"), std::optional<DWORD>(12));
    EXPECT_EQ(key.number("OutLook"), std::optional<DWORD>(1));
    EXPECT_EQ(key.number("MSMailServer"), std::optional<DWORD>(0));
    EXPECT_EQ(key.number("TimerEnabled"), std::optional<DWORD>(0));
    EXPECT_EQ(key.text("WavFile"), std::optional<std::string>(""));
    EXPECT_EQ(key.number("PlaySound"), std::optional<DWORD>(0));
    EXPECT_EQ(key.number("DisplayWindow"), std::optional<DWORD>(0));
    EXPECT_EQ(key.number("Calendar"), std::optional<DWORD>(0));
    EXPECT_EQ(key.valueCount(), 8u) << "no reader, polling time or delay";
    EXPECT_EQ(loadConfiguration(), 1);
}

TEST_F(SetupDialog, EveryOptionSwitchedOnIsWritten) {
    SetupDialogRun setup;
    ASSERT_NE(setup.dialog, nullptr);
    setup.click(IDC_MSMAIL_SERVER);
    EXPECT_TRUE(setup.enabled(IDC_POLLING_TIME));
    setup.type(IDC_POLLING_TIME, "50");
    setup.click(IDC_TIMER_ENABLED);
    EXPECT_TRUE(setup.enabled(IDC_TIMER));
    setup.type(IDC_TIMER, "30");
    setup.click(IDC_PLAY_SOUND);
    EXPECT_TRUE(setup.enabled(IDC_SOUND_FILE));
    EXPECT_TRUE(setup.enabled(IDC_BROWSE_SOUND));
    setup.type(IDC_SOUND_FILE, "C:\\sounds\\ding.wav");
    setup.click(IDC_DISPLAY_WINDOW);
    setup.click(IDC_CALENDAR);
    setup.click(IDC_OUTLOOK);
    setup.click(IDC_OTHER_READER);
    EXPECT_TRUE(setup.enabled(IDC_READER_PATH));
    EXPECT_TRUE(setup.enabled(IDC_BROWSE_READER));
    setup.type(IDC_READER_PATH, "C:\\mail\\reader.exe");
    setup.pressOk();
    ASSERT_EQ(setup.result(), std::optional<INT_PTR>(1));

    EXPECT_EQ(key.number("MSMailServer"), std::optional<DWORD>(1));
    EXPECT_EQ(key.number("MSMailServerTime"), std::optional<DWORD>(50));
    EXPECT_EQ(key.number("TimerEnabled"), std::optional<DWORD>(1));
    EXPECT_EQ(key.number("Timer"), std::optional<DWORD>(30));
    EXPECT_EQ(key.number("OutLook"), std::optional<DWORD>(0));
    EXPECT_EQ(key.text("MailReaderPath"), std::optional<std::string>("C:\\mail\\reader.exe"));
    EXPECT_EQ(key.text("WavFile"), std::optional<std::string>("C:\\sounds\\ding.wav"));
    EXPECT_EQ(key.number("PlaySound"), std::optional<DWORD>(1));
    EXPECT_EQ(key.number("DisplayWindow"), std::optional<DWORD>(1));
    EXPECT_EQ(key.number("Calendar"), std::optional<DWORD>(1));
    EXPECT_EQ(key.number("Version"), std::optional<DWORD>(12));
    EXPECT_EQ(app->timerEnabled, 1u) << "the dialog sets the timer fields itself";
    EXPECT_EQ(app->timer, 30u);
    EXPECT_EQ(app->msMailServer, 0u) << "the rest comes with the next load";
}

TEST_F(SetupDialog, SwitchedOffOptionsKeepTheirStoredNumbers) {
    key.setNumber("Timer", 25);
    key.setNumber("MSMailServerTime", 40);
    app->timerEnabled = 1;
    app->timer = 25;
    app->msMailServerTime = 40;
    app->outlook = 1;
    SetupDialogRun setup;
    ASSERT_NE(setup.dialog, nullptr);
    setup.click(IDC_TIMER_ENABLED);
    EXPECT_FALSE(setup.enabled(IDC_TIMER));
    EXPECT_EQ(setup.text(IDC_TIMER), "25") << "the old delay stays in view";
    setup.type(IDC_TIMER, "99");
    setup.type(IDC_POLLING_TIME, "99");
    setup.click(IDC_DISPLAY_WINDOW); // one box on and its neighbour off
    setup.pressOk();
    ASSERT_EQ(setup.result(), std::optional<INT_PTR>(1));

    EXPECT_EQ(key.number("TimerEnabled"), std::optional<DWORD>(0));
    EXPECT_EQ(key.number("Timer"), std::optional<DWORD>(25));
    EXPECT_EQ(key.number("MSMailServer"), std::optional<DWORD>(0));
    EXPECT_EQ(key.number("MSMailServerTime"), std::optional<DWORD>(40));
    EXPECT_EQ(app->timerEnabled, 0u);
    EXPECT_EQ(app->timer, 25u);
    EXPECT_EQ(key.number("DisplayWindow"), std::optional<DWORD>(1));
    EXPECT_EQ(key.number("Calendar"), std::optional<DWORD>(0));
}

TEST_F(SetupDialog, NumbersThatAreNotUnsignedDecimalsAreStoredAsZero) {
    const std::pair<const char*, DWORD> cases[] = {
        {"abc", 0}, {"12abc", 0}, {"-5", 0},    {"", 0},    {"4294967296", 0},
        {"1.5", 0}, {"+3", 0},    {" 42 ", 42}, {"007", 7}, {"4294967295", 4294967295u},
    };
    app->msMailServer = 1;
    app->timerEnabled = 1;
    app->outlook = 1;
    for (const auto& [typed, stored] : cases) {
        SCOPED_TRACE(std::string("typed \"") + typed + "\"");
        SetupDialogRun setup;
        ASSERT_NE(setup.dialog, nullptr);
        setup.type(IDC_POLLING_TIME, typed);
        setup.type(IDC_TIMER, typed);
        setup.pressOk();
        ASSERT_EQ(setup.result(), std::optional<INT_PTR>(1));
        EXPECT_EQ(key.number("MSMailServerTime"), std::optional<DWORD>(stored));
        EXPECT_EQ(key.number("Timer"), std::optional<DWORD>(stored));
        EXPECT_EQ(app->timer, stored);
    }
}

// Browsing

TEST_F(SetupDialog, BrowsingForTheReaderOffersProgramsAndOnlyAChosenFileReplacesTheText) {
    SetupDialogRun setup;
    ASSERT_NE(setup.dialog, nullptr);
    setup.type(IDC_READER_PATH, "C:\\typed\\reader.exe");

    setup.click(IDC_BROWSE_READER); // cancelled
    ASSERT_EQ(fileDialogCalls.size(), 1u);
    const FileDialogCall& call = fileDialogCalls[0];
    EXPECT_EQ(call.owner, setup.dialog);
    EXPECT_EQ(call.instance, app->instance);
    EXPECT_EQ(call.filter,
              (std::vector<std::string>{"Program (*.exe)", "*.exe", "All Files (*.*)", "*.*"}));
    EXPECT_EQ(call.initialFile, "");
    EXPECT_EQ(call.maxFile, DWORD(MAX_PATH));
    EXPECT_EQ(call.flags, 0u);
    EXPECT_EQ(call.filterIndex, 0u);
    EXPECT_FALSE(call.titleOrDirectory);
    EXPECT_EQ(setup.text(IDC_READER_PATH), "C:\\typed\\reader.exe") << "cancel keeps the text";

    fileDialogChoice = "C:\\chosen\\mail.exe";
    setup.click(IDC_BROWSE_READER);
    EXPECT_EQ(setup.text(IDC_READER_PATH), "C:\\chosen\\mail.exe");

    fileDialogChoice.reset();
    setup.click(IDC_BROWSE_READER);
    setup.pressOk();
    ASSERT_EQ(setup.result(), std::optional<INT_PTR>(1)) << "a cancelled browse left no reader";
    EXPECT_EQ(key.text("MailReaderPath"), std::optional<std::string>("C:\\chosen\\mail.exe"));
}

TEST_F(SetupDialog, BrowsingForTheSoundOffersWaveFilesAndOnlyAChosenFileReplacesTheText) {
    app->outlook = 1;
    SetupDialogRun setup;
    ASSERT_NE(setup.dialog, nullptr);
    setup.click(IDC_PLAY_SOUND);
    setup.type(IDC_SOUND_FILE, "C:\\typed\\ding.wav");

    setup.click(IDC_BROWSE_SOUND); // cancelled
    ASSERT_EQ(fileDialogCalls.size(), 1u);
    EXPECT_EQ(fileDialogCalls[0].owner, setup.dialog);
    EXPECT_EQ(fileDialogCalls[0].filter,
              (std::vector<std::string>{"SoundFiles (*.wav)", "*.wav", "All Files (*.*)", "*.*"}));
    EXPECT_EQ(setup.text(IDC_SOUND_FILE), "C:\\typed\\ding.wav");
    setup.pressOk();
    ASSERT_EQ(setup.result(), std::optional<INT_PTR>(1));
    EXPECT_EQ(key.text("WavFile"), std::optional<std::string>("C:\\typed\\ding.wav"));

    SetupDialogRun again;
    ASSERT_NE(again.dialog, nullptr);
    again.click(IDC_PLAY_SOUND);
    fileDialogChoice = "C:\\chosen\\chime.wav";
    again.click(IDC_BROWSE_SOUND);
    EXPECT_EQ(again.text(IDC_SOUND_FILE), "C:\\chosen\\chime.wav");
}

// The real file dialog is reached on demand: a request it must refuse (no structure size) comes
// back refused by comdlg32 itself, which is then loaded.
TEST_F(SetupDialog, TheRealFileDialogIsLoadedWhenFirstAskedFor) {
    OPENFILENAMEA request{};
    EXPECT_FALSE(realFileDialog(&request));
    const HMODULE dialogs = GetModuleHandleW(L"comdlg32.dll");
    ASSERT_NE(dialogs, nullptr);
    using ErrorFn = DWORD(WINAPI*)();
    const auto extendedError = reinterpret_cast<ErrorFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(dialogs, "CommDlgExtendedError")));
    ASSERT_NE(extendedError, nullptr);
    EXPECT_EQ(extendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
}

} // namespace
