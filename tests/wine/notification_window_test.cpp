// The notification window in this process: its initialisation, layouts, tray clicks and
// commands, with the shell call watched through the tray seam.
#include "app/app_state.h"
#include "app/splash.h"
#include "mail/tray_icon.h"
#include "res/resource.h"
#include "window/notification_window.h"
#include "program_window.h"
#include "wine_test.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

class NotificationWindow : public ::testing::Test {
protected:
    wt::ProgramWindow program;
    HWND window = program.window;

    void command(WPARAM wParam) { SendMessageA(window, WM_COMMAND, wParam, 0); }
    SIZE size() const {
        RECT r;
        GetWindowRect(window, &r);
        return {r.right - r.left, r.bottom - r.top};
    }
    POINT position() const {
        RECT r;
        GetWindowRect(window, &r);
        return {r.left, r.top};
    }
    bool topmost() const { return GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST; }
    bool pauseChecked() const {
        return GetMenuState(trayMenu, ID_PAUSE, MF_BYCOMMAND) & MF_CHECKED;
    }
};

// Initialisation

TEST_F(NotificationWindow, AddsTheTrayIconOnceWithItsFullDescription) {
    const auto calls = wt::trayCalls();
    ASSERT_EQ(calls.size(), 1u);
    const auto& [action, data, at] = calls[0];
    EXPECT_EQ(action, DWORD(NIM_ADD));
    EXPECT_EQ(data.cbSize, DWORD(NOTIFYICONDATAA_V1_SIZE));
    EXPECT_EQ(data.hWnd, window);
    EXPECT_EQ(data.uID, 4097u);
    EXPECT_EQ(data.uFlags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(data.uCallbackMessage, 1026u);
    EXPECT_EQ(data.hIcon, app->trayIcons[0]);
    EXPECT_STREQ(data.szTip, "Tavinel");
}

TEST_F(NotificationWindow, StartsHiddenWithItsControlsRecorded) {
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(app->senderLabel, GetDlgItem(window, IDC_SENDER));
    EXPECT_EQ(app->subjectLabel, GetDlgItem(window, IDC_SUBJECT));
    EXPECT_EQ(app->previewEdit, GetDlgItem(window, IDC_PREVIEW));
    EXPECT_EQ(app->historyList, GetDlgItem(window, IDC_HISTORY));
    EXPECT_EQ(app->animation, GetDlgItem(window, IDC_ANIMATION));
    EXPECT_EQ(app->expandedLayout, 0u);
    EXPECT_NE(trayMenu, nullptr);
    EXPECT_EQ(GetMenuItemID(trayMenu, 0), UINT(ID_OPEN));
}

TEST_F(NotificationWindow, HistoryHasFromAndSubjectColumns) {
    char text[32];
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = text;
    column.cchTextMax = sizeof text;
    ASSERT_TRUE(SendMessageA(app->historyList, LVM_GETCOLUMNA, 0, LPARAM(&column)));
    EXPECT_STREQ(text, "From");
    EXPECT_EQ(column.cx, 100);
    ASSERT_TRUE(SendMessageA(app->historyList, LVM_GETCOLUMNA, 1, LPARAM(&column)));
    EXPECT_STREQ(text, "Subject");
    EXPECT_EQ(column.cx, 270);
}

TEST_F(NotificationWindow, ControlsShareTheSmallFont) {
    HFONT font = HFONT(SendMessageA(app->senderLabel, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(HFONT(SendMessageA(app->previewEdit, WM_GETFONT, 0, 0)), font);
    EXPECT_EQ(HFONT(SendMessageA(app->historyList, WM_GETFONT, 0, 0)), font);
    LOGFONTA described{};
    GetObjectA(font, sizeof described, &described);
    EXPECT_EQ(described.lfHeight, 8);
    EXPECT_STREQ(described.lfFaceName, "MS Sans Serif");
}

TEST_F(NotificationWindow, BackgroundIsLightGreyAndRecordsTheDialog) {
    HDC dc = GetDC(window);
    EXPECT_EQ(SendMessageA(window, WM_CTLCOLORDLG, WPARAM(dc), LPARAM(window)),
              LRESULT(GetStockObject(LTGRAY_BRUSH)));
    ReleaseDC(window, dc);
    EXPECT_EQ(app->dialogWindow, window);
}

TEST_F(NotificationWindow, AnimationHoldsTheClip) {
    // Opening again from the same module succeeds only when the clip is there.
    EXPECT_TRUE(SendMessageA(app->animation, ACM_OPENA, 0, LPARAM(MAKEINTRESOURCEA(IDR_CLIP))));
}

// Layouts

TEST_F(NotificationWindow, ExpandAndCollapseKeepPositionAndWidth) {
    SetWindowPos(window, nullptr, 120, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    command(ID_EXPAND);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(topmost());
    EXPECT_EQ(size().cx, 400);
    EXPECT_EQ(size().cy, 450);
    EXPECT_EQ(app->expandedLayout, 1u);
    command(ID_COLLAPSE);
    EXPECT_EQ(size().cx, 400);
    EXPECT_EQ(size().cy, 150);
    EXPECT_EQ(app->expandedLayout, 0u);
    EXPECT_EQ(position().x, 120);
    EXPECT_EQ(position().y, 80);
}

// Tray clicks

TEST_F(NotificationWindow, LeftClickWithoutPendingMailDoesNothing) {
    SendMessageA(window, 1026, 4097, WM_LBUTTONDOWN);
    EXPECT_FALSE(IsWindowVisible(window));
}

TEST_F(NotificationWindow, LeftClickWithPendingMailShowsCollapsedAndRecordsExpanded) {
    app->mailPending = 1;
    SendMessageA(window, 1026, 4097, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(size().cy, 150);
    EXPECT_EQ(app->expandedLayout, 1u);
}

TEST_F(NotificationWindow, OtherMouseMessagesAreIgnored) {
    app->mailPending = 1;
    for (UINT mouse : {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEMOVE, WM_MBUTTONDOWN})
        SendMessageA(window, 1026, 4097, mouse);
    EXPECT_FALSE(IsWindowVisible(window));
}

TEST_F(NotificationWindow, OpenShowsCollapsedAndRecordsCollapsed) {
    app->expandedLayout = 1;
    command(ID_OPEN);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(size().cy, 150);
    EXPECT_EQ(app->expandedLayout, 0u);
}

// Commands

TEST_F(NotificationWindow, CloseHidesAndClearsPendingMail) {
    app->mailPending = 1;
    command(ID_EXPAND);
    command(ID_CLOSE);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(app->mailPending, 0u);
    SendMessageA(window, 1026, 4097, WM_LBUTTONDOWN);
    EXPECT_FALSE(IsWindowVisible(window)) << "nothing pending any more";
}

TEST_F(NotificationWindow, PauseTogglesItsCheckMark) {
    command(ID_PAUSE);
    EXPECT_EQ(app->paused, 1);
    EXPECT_TRUE(pauseChecked());
    command(ID_PAUSE);
    EXPECT_EQ(app->paused, 0);
    EXPECT_FALSE(pauseChecked());
}

TEST_F(NotificationWindow, CommandsWithANotificationCodeDoNothing) {
    command(MAKEWPARAM(ID_EXPAND, 1));
    command(MAKEWPARAM(ID_PAUSE, 1));
    command(MAKEWPARAM(ID_EXIT, 1));
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(app->paused, 0);
}

TEST_F(NotificationWindow, ExitDeletesTheTrayIconAndPostsQuit) {
    wt::clearTrayCalls();
    command(ID_EXIT);
    EXPECT_FALSE(IsWindow(window));
    const auto calls = wt::trayCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].action, DWORD(NIM_DELETE));
    EXPECT_EQ(calls[0].data.hWnd, window);
    EXPECT_EQ(calls[0].data.uID, 4097u);
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(NotificationWindow, ConfigureLoadsBeforeAndAgainAfterTheDialogEvenWhenCancelled) {
    wt::ConfigurationKey key;
    key.writeValid(); // DisplayWindow 1, Calendar 0
    std::atomic<uint32_t> displayWindowWhileOpen{99};
    std::thread user([&] {
        HWND setup = wt::waitForDialog("Setup of Tavinel 2.0 ", GetCurrentProcessId(), 5000);
        displayWindowWhileOpen = app->displayWindow;
        key.setNumber("Calendar", 1); // changed while the dialog is open
        PostMessageA(setup, WM_COMMAND, IDCANCEL, 0);
    });
    command(ID_CONFIGURE); // returns when the dialog has ended
    user.join();
    EXPECT_EQ(displayWindowWhileOpen, 1u) << "loaded before the dialog";
    EXPECT_EQ(app->calendar, 1u) << "loaded again after it";
}

TEST_F(NotificationWindow, AboutTwiceShowsTwoSplashesUntilTheyAreClicked) {
    const auto splashes = [] {
        std::vector<HWND> found;
        for (HWND w : wt::topLevelWindows(GetCurrentProcessId())) {
            char name[64] = {};
            GetClassNameA(w, name, sizeof name);
            if (std::strcmp(name, splashClassName) == 0 && IsWindowVisible(w))
                found.push_back(w);
        }
        return found;
    };
    command(ID_ABOUT);
    command(ID_ABOUT);
    ASSERT_TRUE(wt::pumpUntil([&] { return splashes().size() == 2; }));
    const auto shown = splashes();
    EXPECT_NE(GetWindowThreadProcessId(shown[0], nullptr),
              GetWindowThreadProcessId(shown[1], nullptr))
        << "a thread each";
    EXPECT_NE(GetWindowThreadProcessId(shown[0], nullptr), GetCurrentThreadId());
    wt::pumpFor(300);
    EXPECT_EQ(splashes().size(), 2u) << "no close message: they stay";
    for (HWND splash : shown)
        PostMessageA(splash, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_TRUE(wt::pumpUntil([&] { return !IsWindow(shown[0]) && !IsWindow(shown[1]); }));
}

TEST_F(NotificationWindow, ANewNotificationAreaGetsTheIconAgain) {
    wt::clearTrayCalls();
    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    const auto calls = wt::trayCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].action, DWORD(NIM_ADD));
    EXPECT_EQ(calls[0].data.uID, 4097u);
    EXPECT_EQ(calls[0].data.hIcon, app->trayIcons[0]);
}

// The history list

TEST_F(NotificationWindow, EveryInsertionLeavesTheTopLineSelectedAndFocused) {
    for (const char* sender : {"first", "second"}) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.pszText = const_cast<char*>(sender);
        SendMessageA(app->historyList, LVM_INSERTITEMA, 0, LPARAM(&item));
    }
    const UINT top =
        SendMessageA(app->historyList, LVM_GETITEMSTATE, 0, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(top, UINT(LVIS_SELECTED | LVIS_FOCUSED));
    EXPECT_EQ(SendMessageA(app->historyList, LVM_GETITEMSTATE, 1, LVIS_SELECTED), 0);
}

} // namespace
