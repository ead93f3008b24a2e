// Do not disturb, as Windows says it: whether the user may be interrupted now.
#pragma once
#include <windows.h>
#include <shellapi.h>

enum class Interruption {
    allowed, // pop up and sound as usual
    away,    // the session is locked or the screen saver runs: no popup, the sound as usual
    silent,  // a full-screen program or a presentation: no popup and no sound
};

// Asks Windows (SHQueryUserNotificationState); a query that fails allows.
Interruption currentInterruption();

// The query behind currentInterruption. Tests point it elsewhere: Wine always answers that the
// user accepts notifications.
using QueryNotificationStateFn = HRESULT(WINAPI*)(QUERY_USER_NOTIFICATION_STATE*);
extern QueryNotificationStateFn queryNotificationState;
