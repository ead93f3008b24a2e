#include "blink.h"

#include "app/app_state.h"
#include "notification_text.h"
#include "tray_icon.h"

#include <atomic>
#include <climits>

namespace {
std::atomic<long> running{0};
// A thread is in its loop or starting. Closing the window and new mail within one tick would
// otherwise leave the old thread going on beside a new one, the two blinking out of step.
std::atomic<bool> blinking{false};
// Mail came after Close while a thread still blinked: that thread carries on as a new one.
std::atomic<bool> restart{false};
void sleepFor(DWORD milliseconds) {
    Sleep(milliseconds);
}
bool wanted(HWND window) {
    return IsWindowVisible(window) || app->mailPending == 1;
}
} // namespace

void (*blinkSleep)(DWORD) = &sleepFor;

long runningBlinkThreads() {
    return running;
}

DWORD WINAPI blinkThread(LPVOID parameter) {
    const HWND window = static_cast<HWND>(parameter);
    int32_t countdown = blinkCountdown(app->timer);
    int position = 0;
    bool handedOver = false;
    // Goes on while the window is visible or mail is pending.
    for (;;) {
        if (!wanted(window)) {
            blinking = false;
            // New mail between the test and the line above saw this thread blinking and started
            // none: carry on, unless a newer thread has taken over.
            if (!wanted(window) || (handedOver = blinking.exchange(true)))
                break;
        }
        if (restart.exchange(false)) {
            countdown = blinkCountdown(app->timer);
            position = 0;
        }
        updateTrayIcon(NIM_MODIFY, app->mainWindow, app->trayIcons[position]);
        position = (position + 1) % 4;
        if (countdown > INT32_MIN) // below 0 it never reaches 0 again: the window hides once
            --countdown;
        if (countdown == 0 && app->timerEnabled == 1)
            ShowWindow(app->dialogWindow, SW_HIDE);
        blinkSleep(blinkTickMs);
    }
    if (!handedOver)
        updateTrayIcon(NIM_MODIFY, app->mainWindow, app->trayIcons[0]);
    --running;
    return 0;
}

void startBlinkThread(HWND window) {
    if (blinking.exchange(true)) {
        restart = true; // the blinking thread sees mailPending and goes on, from the start
        return;
    }
    // Counted from before its creation, so that a thread not yet scheduled is counted too:
    // whoever waits for the count to reach 0 may then free what the thread reads.
    ++running;
    // The handle is not kept: the thread ends by itself.
    if (HANDLE thread = CreateThread(nullptr, 0, blinkThread, window, 0, nullptr)) {
        CloseHandle(thread);
    } else {
        --running;
        blinking = false;
    }
}
