// The program's advise sink: MAPI calls OnNotify for events in a watched folder, and the sink
// hands them on: a mail sink to the new-mail work, a calendar sink to the calendar's reload.
#pragma once
#include <windows.h>
#include <mapidefs.h>

#include <cstdint>

class AdviseSink : public IMAPIAdviseSink {
public:
    enum Kind : int32_t { mailSink = 1, calendarSink = 2 };

    // The count starts at 0: the registration gives MAPI its reference.
    AdviseSink(HWND window, int32_t kind) : window(window), kind(kind) {}
    virtual ~AdviseSink() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP_(ULONG) OnNotify(ULONG count, LPNOTIFICATION notifications) override;

    LONG refCount = 0;
    HWND window;
    int32_t kind;
};
