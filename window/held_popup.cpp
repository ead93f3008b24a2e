#include "held_popup.h"

#include "app/app_state.h"
#include "app/do_not_disturb.h"
#include "mail/blink.h"
#include "notification_window.h"

#include <commctrl.h>

UINT heldPopupCheckMs = 5000;

namespace {

constexpr UINT_PTR heldPopupTimer = 0x7A01;
bool held = false; // the main thread's alone

void popUp() {
    showLayout(app->mainWindow, app->expandedLayout != 0);
    SendMessageA(app->animation, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF));
}

void CALLBACK checkHeldPopup(HWND window, UINT, UINT_PTR timer, DWORD) {
    if (currentInterruption() != Interruption::allowed)
        return;
    KillTimer(window, timer);
    held = false;
    // Shown or closed meanwhile (the tray icon opens the window): nothing waits any more.
    if (app->mailPending != 1 || IsWindowVisible(window))
        return;
    popUp();
    // The auto-hide delay counts from the popup, not from the mail that came while away.
    startBlinkThread(window);
}

} // namespace

void popUpNotificationWindow() {
    if (currentInterruption() == Interruption::allowed) {
        popUp();
        return;
    }
    // One timer, however many mails come meanwhile.
    if (SetTimer(app->mainWindow, heldPopupTimer, heldPopupCheckMs, checkHeldPopup))
        held = true;
}

bool popupHeld() {
    return held;
}
