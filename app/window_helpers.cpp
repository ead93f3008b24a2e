#include "window_helpers.h"

#include "app_state.h"
#include "handles.h"

#include <commctrl.h>

void centerOnScreen(Placement& placement) {
    UniqueHdc display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    const int width = GetDeviceCaps(display.get(), HORZRES);
    const int height = GetDeviceCaps(display.get(), VERTRES);
    placement.x = width / 2 - placement.width / 2;
    placement.y = height / 2 - placement.height / 2;
}

void trimWorkingSet() {
    SetProcessWorkingSetSize(GetCurrentProcess(), SIZE_T(-1), SIZE_T(-1));
}

void hideNotificationWindow() {
    app->mailPending = 0;
    SendMessageA(app->animation, ACM_STOP, 0, 0);
    ShowWindow(app->mainWindow, SW_HIDE);
    trimWorkingSet();
}
