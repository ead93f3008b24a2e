// The splash window: picture 108 with "Version 2.0" over it, on a thread of its own. Start-up
// shows it while the mail session opens and closes it with WM_SPLASH_CLOSE; About... shows it
// until it is clicked.
#pragma once
#include <windows.h>

inline constexpr char splashClassName[] = "ORV_SPLASH";
// The picture's size; the window is this at 96 DPI and scaled to the display.
inline constexpr int splashWidth = 380;
inline constexpr int splashHeight = 240;

// Thread routine; the parameter is the program's instance. Registers the class, shows the
// window (kept in splashWindow) and serves it until it is closed. Returns 0.
DWORD WINAPI splashThread(LPVOID instance);

// Starts splashThread on a new thread and returns the thread's identifier once the thread has
// a message queue, so that a WM_SPLASH_CLOSE posted at once is not lost. Returns 0 when no
// thread could be started. The thread's handle is not kept.
DWORD startSplashThread(HINSTANCE instance);

LRESULT CALLBACK splashWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Loads a packed device-independent bitmap resource as a device bitmap, and its colour table as
// a logical palette (null without a colour table). Returns null, leaving `palette` as it was,
// when the module has no such bitmap. The caller deletes both.
HBITMAP loadBitmapWithPalette(HINSTANCE instance, int bitmapId, HPALETTE& palette);

// The logical palette of a packed bitmap's colour table: 2^bits colours up to 8 bits per pixel
// (stored in `colourCount`), none above. Returns null when there are no colours.
HPALETTE createDibPalette(const BITMAPINFO* info, int& colourCount);
