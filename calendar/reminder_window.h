// The reminder window: one topmost dialog per announced reminder. Every window lives on one
// thread of their own, so that any number can be open without a thread (and, under Wine, a
// display connection) each.
#pragma once
#include <windows.h>

// Hands a reminder text block allocated with new[] to the reminder windows' thread, which
// shows it in a window of its own and frees it; started on first use, it lives with the
// process. Returns at once: a window left open holds up nothing. False (the block freed) when
// the thread could not be started or reached.
bool showReminder(char* block);

// Thread routine for a single window; `block` as above, owned by the thread. Returns when the
// window is gone.
DWORD WINAPI reminderWindowThread(void* block);

// The dialog procedure of the reminder window; the creation parameter is the text block.
INT_PTR CALLBACK reminderWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
