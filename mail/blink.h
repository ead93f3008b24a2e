// The blink thread: the tray icon flashes the envelope while mail is pending.
#pragma once
#include <windows.h>

inline constexpr DWORD blinkTickMs = 650;

DWORD WINAPI blinkThread(LPVOID window);
void startBlinkThread(HWND window);

// How the thread waits between ticks; tests shorten it.
extern void (*blinkSleep)(DWORD milliseconds);
// Blink threads started and not yet ended, for tests and the benchmark.
long runningBlinkThreads();
