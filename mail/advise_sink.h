// The program's advise sink: MAPI calls OnNotify for events in a watched folder, and the sink
// hands them on: a mail sink to the new-mail work, a calendar sink to the calendar's reload.
//
// That work belongs to the notification window's thread. A store may call OnNotify on a
// thread of its own (MAPI allows it, whatever MAPIInitialize asked for): the sink then copies
// what the work needs and posts it to the window, without waiting, and the window's thread
// does the work as if the call had come there.
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

    LONG refCount = 0; // changed by interlocked operations only: any thread may call
    HWND window;
    int32_t kind;
};

// On the window's thread: the work of a batch that WM_MAIL_BATCH or WM_CALENDAR_CHANGED
// brought. Frees the batch.
void onPostedMailBatch(HWND window, LPARAM batch);
void onPostedCalendarChange();
