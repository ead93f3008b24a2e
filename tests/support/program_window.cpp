#include "program_window.h"

#include "app/app_state.h"
#include "mail/tray_icon.h"
#include "window/notification_window.h"

#include <mutex>

namespace wt {

namespace {

std::mutex trayLock; // blink threads call the seam too
std::vector<TrayCall> calls;

BOOL WINAPI recordTray(DWORD action, PNOTIFYICONDATAA data) {
    std::lock_guard guard(trayLock);
    calls.push_back({action, *data, GetTickCount64()});
    return TRUE;
}

} // namespace

std::vector<TrayCall> trayCalls() {
    std::lock_guard guard(trayLock);
    return calls;
}

void clearTrayCalls() {
    std::lock_guard guard(trayLock);
    calls.clear();
}

ProgramWindow::ProgramWindow() {
    clearTrayCalls();
    shellNotifyIcon = &recordTray;
    app = new AppState();
    app->instance = GetModuleHandleA(nullptr);
    loadTrayIcons(app->instance, app->trayIcons);
    window = createNotificationWindow(app->instance);
    app->mainWindow = window;
}

ProgramWindow::~ProgramWindow() {
    if (IsWindow(window))
        DestroyWindow(window);
    MSG quit; // WM_DESTROY posts one; it must not end the next test's loop
    while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    delete app;
    app = nullptr;
    shellNotifyIcon = &Shell_NotifyIconA;
}

} // namespace wt
