// What every benchmark measures with: a clock, a message pump, the thread count and a counting
// advise sink.
#pragma once
#include <windows.h>
#include <mapix.h>
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

// Counts notifications; lives on the caller's stack, so its reference count is not kept.
class CountingSink : public IMAPIAdviseSink {
public:
    STDMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(ULONG) OnNotify(ULONG count, LPNOTIFICATION) override {
        received += count;
        return S_OK;
    }
    ULONG received = 0;
};

} // namespace bench
