// The new-mail work: what a mail sink hands on for each call of OnNotify.
#pragma once
#include <windows.h>
#include <mapidefs.h>

// Announces every new mail of the call, in order: each enters the history and the last becomes
// the mail now shown. The sound, the window and the blinking start once a call. Does nothing
// while paused; events other than new mail are ignored. `window` goes to the blink thread.
void onMailNotifications(HWND window, ULONG count, const NOTIFICATION* notifications);

// Whether the event is a new mail's.
bool isNewMail(const NOTIFICATION& notification);

// Where the arrival time comes from: GetLocalTime. Tests fix the clock.
extern void(WINAPI* readLocalTime)(LPSYSTEMTIME time);
// What plays the sound: PlaySoundA. Tests listen.
extern BOOL(WINAPI* playSoundFile)(LPCSTR sound, HMODULE module, DWORD flags);
