// The computer's resume from sleep or hibernation (WM_POWERBROADCAST): what slept is woken at
// once instead of at the end of a wait that did not count the time asleep.
#pragma once
#include <windows.h>

// Whether the power event is one of the two that Windows sends on resume.
bool isResume(WPARAM powerEvent);

// Has the reminder clock make a pass now (reminders missed while asleep are announced once,
// now) and, with forced delivery on, the delivery thread a pass; then asks the store one cheap
// question. A store that does not answer is named in the failure trace and in the tray icon's
// tip until a later resume finds it answering again.
void onResume();
