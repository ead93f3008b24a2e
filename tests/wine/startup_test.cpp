// The real tavinel.exe: single instance, bad configuration, and leaving through the tray menu.
#include "wine_test.h"

#include "res/resource.h"

#include <gtest/gtest.h>

namespace {

constexpr char windowTitle[] = "Tavinel 2.0";

class Startup : public ::testing::Test {
protected:
    wt::ConfigurationKey key;

    // Waits until the program's (hidden) notification window exists.
    HWND waitForMainWindow(const wt::Process& process) {
        return wt::waitForWindow(windowTitle, process.id(), 15000);
    }

    static void exitThroughCommand(HWND window) {
        PostMessageA(window, WM_COMMAND, ID_EXIT, 0);
    }
};

TEST_F(Startup, SecondInstanceWarnsAndLeavesTheFirstRunning) {
    key.writeValid();
    wt::Process first(wt::tavinelExe());
    HWND window = waitForMainWindow(first);
    ASSERT_NE(window, nullptr);

    wt::Process second(wt::tavinelExe());
    auto box = wt::dismissMessageBox(second.id());
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->caption, "Warning");
    EXPECT_EQ(box->text, "Tavinel already running");
    EXPECT_EQ(second.waitForExit(), std::optional<DWORD>(0));
    EXPECT_EQ(wt::findWindow(windowTitle, second.id()), nullptr);

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

TEST_F(Startup, MissingConfigurationWarnsAndEnds) {
    wt::ConfigurationKey::remove();
    wt::Process program(wt::tavinelExe());
    auto box = wt::dismissMessageBox(program.id(), 15000);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->caption, "Warning");
    EXPECT_EQ(box->text, "Tavinel cannot starts bad registry configuration");
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));
}

TEST_F(Startup, WrongVersionWarnsAndEnds) {
    key.writeValid();
    key.setNumber("Version", 11);
    wt::Process program(wt::tavinelExe());
    auto box = wt::dismissMessageBox(program.id(), 15000);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, "Tavinel cannot starts bad registry configuration");
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));
}

} // namespace
