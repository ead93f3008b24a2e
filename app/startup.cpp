#include "startup.h"

#include "app_state.h"
#include "configuration.h"
#include "dpi.h"
#include "handles.h"
#include "messages.h"
#include "setup_dialog.h"
#include "splash.h"
#include "window_helpers.h"
#include "calendar/calendar_loading.h"
#include "mail/forced_delivery.h"
#include "mail/mail_session.h"
#include "mail/tray_icon.h"
#include "res/resource.h"
#include "window/notification_window.h"

#include <commctrl.h>
#include <ole2.h>

namespace {

constexpr char singleInstanceEventName[] = "Quillet";
constexpr int notificationWidth = 400;
constexpr int notificationHeight = 450;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Deletes the tray icon; usually the second deletion, since the window deletes it when it is
// destroyed. Nothing else is released: the process ends.
void shutDown(HINSTANCE instance) {
    updateTrayIcon(NIM_DELETE, app->mainWindow,
                   LoadIconA(instance, MAKEINTRESOURCEA(IDI_ENVELOPE)));
}

void runMessageLoop() {
    // No translation and no dialog manager: every message goes straight to its window
    // procedure, and MAPI's notification window is served by the same loop.
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
}

} // namespace

bool isInstallCommand(std::string_view commandTail) {
    return equalsIgnoringCase(commandTail, "INSTALL");
}

int runTavinel(HINSTANCE instance, const char* commandTail) {
    OleInitialize(nullptr); // without OLE only reading in Outlook fails, and it says so then
    InitCommonControls();
    trimWorkingSet();

    // Only the event's existence matters; its handle stays open for the life of the process.
    CreateEventA(nullptr, FALSE, FALSE, singleInstanceEventName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        MessageBoxA(nullptr, "Tavinel already running", "Warning", MB_ICONEXCLAMATION | MB_OK);
        return 0;
    }

    createAppState();
    app->instance = instance;
    loadTrayIcons(instance, app->trayIcons);

    app->mainWindow = createNotificationWindow(instance);
    Placement placement{0, 0, scaled(notificationWidth), scaled(notificationHeight)};
    centerOnScreen(placement);
    SetWindowPos(app->mainWindow, HWND_TOPMOST, placement.x, placement.y, 0, 0, SWP_NOSIZE);
    ShowWindow(app->mainWindow, SW_HIDE);

    const bool loaded = loadConfiguration() != 0;
    const bool install = isInstallCommand(commandTail ? commandTail : "");
    if ((install || !loaded) && runSetupDialog() == 0) {
        shutDown(instance); // cancelled
        return 0;
    }
    // Loaded again on every start: the dialog writes the registry, not the record.
    if (!loadConfiguration()) {
        MessageBoxA(nullptr, "Tavinel cannot starts bad registry configuration", "Warning",
                    MB_ICONEXCLAMATION | MB_OK);
        shutDown(instance);
        return 0;
    }

    const DWORD splashThreadId = startSplashThread(instance);

    // The mail session opens with the splash still up; a failed logon has told the user.
    if (!startMailSession()) {
        shutDown(instance);
        return 0;
    }
    if (app->calendar)
        loadCalendar();
    if (app->msMailServer)
        startForcedDelivery();

    PostThreadMessageA(splashThreadId, WM_SPLASH_CLOSE, 0, 0);
    trimWorkingSet();
    runMessageLoop();
    shutDown(instance);
    return 0;
}
