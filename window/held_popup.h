// The notification window's popup held back while the user may not be interrupted, and shown
// once when that ends.
#pragma once
#include <windows.h>

// Pops the window up in its recorded layout with the clip playing, or, while Windows says the
// user may not be interrupted, holds that back: then a slow timer asks again until it may, and
// pops the window up once (with the mail now shown, the newest). No timer runs otherwise.
void popUpNotificationWindow();

// Whether a popup waits.
bool popupHeld();

// How often a held popup asks again, in milliseconds; tests shorten it.
extern UINT heldPopupCheckMs;
