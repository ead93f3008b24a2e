// What every benchmark measures with: a clock, a message pump and the thread count.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

namespace bench {

inline double milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

template <typename F> double timed(F&& work) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return milliseconds(start, end);
}

// Dispatches messages, as a program's loop does, until `done` or the time-out.
template <typename Done> bool pumpUntil(Done done, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    MSG message;
    while (!done()) {
        const ULONGLONG current = GetTickCount64();
        if (current >= end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(end - current), QS_ALLINPUT);
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    return true;
}

inline int threadCount(DWORD processId = GetCurrentProcessId()) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == processId;
    CloseHandle(snapshot);
    return count;
}

} // namespace bench
