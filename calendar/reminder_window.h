// The reminder window: one topmost dialog per announced reminder, on a thread of its own.
#pragma once
#include <windows.h>

// Thread routine; `block` is a reminder text block allocated with new[], which the thread
// owns and frees once the texts are in the window. Returns when the window is gone.
DWORD WINAPI reminderWindowThread(void* block);

// The dialog procedure of the reminder window; the creation parameter is the text block.
INT_PTR CALLBACK reminderWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
