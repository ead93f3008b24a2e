#include "blink.h"

#include "app/app_state.h"
#include "notification_text.h"
#include "tray_icon.h"

#include <atomic>
#include <climits>

namespace {
std::atomic<long> running{0};
void sleepFor(DWORD milliseconds) {
    Sleep(milliseconds);
}
} // namespace

void (*blinkSleep)(DWORD) = &sleepFor;

long runningBlinkThreads() {
    return running;
}

DWORD WINAPI blinkThread(LPVOID parameter) {
    ++running;
    const HWND window = static_cast<HWND>(parameter);
    int32_t countdown = blinkCountdown(app->timer);
    int position = 0;
    // Goes on while the window is visible or mail is pending.
    while (IsWindowVisible(window) || app->mailPending == 1) {
        updateTrayIcon(NIM_MODIFY, app->mainWindow, app->trayIcons[position]);
        position = (position + 1) % 4;
        if (countdown > INT32_MIN) // below 0 it never reaches 0 again: the window hides once
            --countdown;
        if (countdown == 0 && app->timerEnabled == 1)
            ShowWindow(app->dialogWindow, SW_HIDE);
        blinkSleep(blinkTickMs);
    }
    updateTrayIcon(NIM_MODIFY, app->mainWindow, app->trayIcons[0]);
    --running;
    return 0;
}

void startBlinkThread(HWND window) {
    // The handle is not kept: the thread ends by itself.
    if (HANDLE thread = CreateThread(nullptr, 0, blinkThread, window, 0, nullptr))
        CloseHandle(thread);
}
