// FILETIME values as the reminder code counts them.
#pragma once
#include "reminder_time.h"

#include <windows.h>

inline Ticks ticksOf(const FILETIME& time) {
    return (Ticks(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline FILETIME fileTimeOf(Ticks ticks) {
    return {DWORD(ticks & 0xFFFFFFFF), DWORD(ticks >> 32)};
}

inline Ticks presentTicks() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return ticksOf(now);
}
