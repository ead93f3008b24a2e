// The real tavinel.exe: single instance, the setup dialog at start, the splash, and leaving
// through the tray menu.
#include "wine_test.h"

#include "app/startup.h"
#include "res/resource.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr char windowTitle[] = "Tavinel 2.0";

class Startup : public ::testing::Test {
protected:
    wt::ConfigurationKey key;

    // Waits until the program's (hidden) notification window exists.
    HWND waitForMainWindow(const wt::Process& process) {
        return wt::waitForWindow(windowTitle, process.id(), 15000);
    }

    static void exitThroughCommand(HWND window) { PostMessageA(window, WM_COMMAND, ID_EXIT, 0); }
};

TEST_F(Startup, SecondInstanceWarnsAndLeavesTheFirstRunning) {
    key.writeValid();
    wt::Process first(wt::tavinelExe());
    HWND window = waitForMainWindow(first);
    ASSERT_NE(window, nullptr);

    wt::Process second(wt::tavinelExe());
    ASSERT_NE(wt::waitForWindow("Warning", second.id(), 10000, "#32770"), nullptr);
    EXPECT_EQ(wt::findWindow(windowTitle, second.id()), nullptr)
        << "refused before it makes a window and a tray icon";
    auto box = wt::dismissMessageBox(second.id());
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->caption, "Warning");
    EXPECT_EQ(box->text, "Tavinel already running");
    EXPECT_EQ(second.waitForExit(), std::optional<DWORD>(0));

    EXPECT_TRUE(first.running());
    EXPECT_TRUE(IsWindow(window));
    exitThroughCommand(window);
    EXPECT_EQ(first.waitForExit(), std::optional<DWORD>(0));
}

TEST_F(Startup, StartsHiddenAndCentred) {
    key.writeValid();
    wt::Process program(wt::tavinelExe());
    HWND window = waitForMainWindow(program);
    ASSERT_NE(window, nullptr);
    wt::pumpFor(300);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT frame;
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.left, GetSystemMetrics(SM_CXSCREEN) / 2 - 400 / 2);
    EXPECT_EQ(frame.top, GetSystemMetrics(SM_CYSCREEN) / 2 - 450 / 2);
    exitThroughCommand(window);
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));
}

// The lower-case names of the modules a process has loaded.
std::vector<std::string> loadedModules(DWORD processId) {
    std::vector<std::string> names;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    HMODULE modules[512];
    DWORD bytes = 0;
    if (process && EnumProcessModules(process, modules, sizeof modules, &bytes))
        for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; ++i) {
            char name[MAX_PATH] = {};
            GetModuleBaseNameA(process, modules[i], name, MAX_PATH);
            names.push_back(CharLowerA(name));
        }
    if (process)
        CloseHandle(process);
    return names;
}

TEST_F(Startup, RunsWithoutTheLibrariesOfCommandsNotYetUsed) {
    key.writeValid();
    wt::Process program(wt::tavinelExe());
    HWND window = wt::waitForProgramReady(program, 15000);
    ASSERT_NE(window, nullptr);
    const auto modules = loadedModules(program.id());
    EXPECT_NE(std::find(modules.begin(), modules.end(), "mapi32.dll"), modules.end());
    for (const char* rare : {"comdlg32.dll", "oleaut32.dll"})
        EXPECT_EQ(std::find(modules.begin(), modules.end(), rare), modules.end()) << rare;
    exitThroughCommand(window);
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));
}

TEST_F(Startup, ExitFromTheTrayMenuEndsWithCodeZero) {
    key.writeValid();
    wt::Process program(wt::tavinelExe());
    HWND window = waitForMainWindow(program);
    ASSERT_NE(window, nullptr);

    wt::postTrayMouse(window, WM_RBUTTONDOWN);
    EXPECT_TRUE(wt::pumpUntil(wt::trayShowsIcons)) << "the envelope is in the tray";

    HWND menu = wt::waitForWindow(nullptr, program.id(), 5000, "#32768");
    ASSERT_NE(menu, nullptr) << "the tray pop-up menu did not open";
    // The menu loop reads the keyboard of the menu's thread: Up selects the last item, Exit.
    PostMessageA(window, WM_KEYDOWN, VK_UP, 0);
    PostMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));
    EXPECT_TRUE(wt::pumpUntil([] { return !wt::trayShowsIcons(); })) << "the icon is gone";
}

// The setup dialog at start

constexpr char setupTitle[] = "Setup of Tavinel 2.0 ";

TEST(InstallCommand, IsTheWholeWordInAnyCase) {
    for (const char* yes : {"INSTALL", "install", "InStAlL"})
        EXPECT_TRUE(isInstallCommand(yes)) << yes;
    for (const char* no : {"", "INSTAL", "INSTALL now", " INSTALL", "INSTALLS", "/install"})
        EXPECT_FALSE(isInstallCommand(no)) << no;
}

TEST_F(Startup, FirstStartWithoutAKeyShowsTheSetupDialogAndRunsAfterOk) {
    wt::ConfigurationKey::remove();
    wt::Process program(wt::tavinelExe());
    HWND setup = wt::waitForDialog(setupTitle, program.id(), 15000);
    ASSERT_NE(setup, nullptr) << "no setup dialog";
    EXPECT_TRUE(wt::isChecked(setup, IDC_OTHER_READER)) << "nothing configured yet";
    wt::clickButton(setup, IDC_OUTLOOK);
    wt::clickButton(setup, IDOK);
    EXPECT_TRUE(wt::pumpUntil([&] { return !IsWindow(setup); }));

    HWND window = waitForMainWindow(program);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(wt::dismissMessageBox(program.id(), 1000).has_value()) << "the second load works";
    EXPECT_TRUE(program.running());
    EXPECT_EQ(key.number("Version"), std::optional<DWORD>(12));
    EXPECT_EQ(key.number("OutLook"), std::optional<DWORD>(1));
    exitThroughCommand(window);
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));
}

TEST_F(Startup, InstallShowsTheDialogOverAValidConfigurationAndCancelEndsWithZero) {
    key.writeValid();
    wt::Process program(wt::tavinelExe(), "InStAlL");
    HWND setup = wt::waitForDialog(setupTitle, program.id(), 15000);
    ASSERT_NE(setup, nullptr) << "no setup dialog";
    EXPECT_TRUE(wt::isChecked(setup, IDC_OUTLOOK)) << "shows the stored configuration";
    EXPECT_TRUE(wt::isChecked(setup, IDC_DISPLAY_WINDOW));
    wt::clickButton(setup, IDC_CALENDAR);
    wt::clickButton(setup, IDCANCEL);
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));
    EXPECT_EQ(key.number("Calendar"), std::optional<DWORD>(0)) << "Cancel writes nothing";
}

TEST_F(Startup, InstallWithMoreTextIsNoInstall) {
    key.writeValid();
    wt::Process program(wt::tavinelExe(), "install now");
    HWND window = waitForMainWindow(program);
    ASSERT_NE(window, nullptr);
    wt::pumpFor(500);
    EXPECT_EQ(wt::findWindow(setupTitle, program.id()), nullptr);
    exitThroughCommand(window);
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));
}

TEST_F(Startup, WrongVersionLeadsThroughTheSetupDialog) {
    key.writeValid();
    key.setNumber("Version", 11);
    wt::Process program(wt::tavinelExe());
    HWND setup = wt::waitForDialog(setupTitle, program.id(), 15000);
    ASSERT_NE(setup, nullptr) << "no setup dialog";
    wt::clickButton(setup, IDC_OUTLOOK);
    wt::clickButton(setup, IDOK);
    HWND window = waitForMainWindow(program);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(wt::pumpUntil([&] { return !IsWindow(setup); }));
    EXPECT_TRUE(program.running());
    EXPECT_EQ(key.number("Version"), std::optional<DWORD>(12));
    exitThroughCommand(window);
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));
}

// The splash

TEST_F(Startup, StartUpClosesItsSplashAndAboutShowsOneUntilClicked) {
    key.writeValid();
    wt::Process program(wt::tavinelExe());
    HWND window = waitForMainWindow(program);
    ASSERT_NE(window, nullptr);
    const auto splash = [&] { return wt::findWindow("Splash", program.id(), "ORV_SPLASH"); };
    // Start-up's splash may appear only after the main window; give it time to come and go.
    wt::pumpFor(1000);
    EXPECT_TRUE(wt::pumpUntil([&] { return splash() == nullptr; })) << "start-up's splash stays";

    PostMessageA(window, WM_COMMAND, ID_ABOUT, 0);
    HWND about = wt::waitForWindow("Splash", program.id(), 5000, "ORV_SPLASH");
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(IsWindowVisible(about));
    wt::pumpFor(500);
    ASSERT_TRUE(IsWindow(about)) << "About's splash waits for a click";
    PostMessageA(about, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_TRUE(wt::pumpUntil([&] { return splash() == nullptr; }));
    exitThroughCommand(window);
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));
}

} // namespace
