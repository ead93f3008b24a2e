#include "advise_sink.h"

#include "calendar/calendar_reload.h"
#include "new_mail.h"

// Only IUnknown: MAPI never asks a sink for more.
STDMETHODIMP AdviseSink::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) {
        *object = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) AdviseSink::AddRef() {
    return ULONG(++refCount);
}

STDMETHODIMP_(ULONG) AdviseSink::Release() {
    const LONG left = --refCount;
    if (left == 0)
        delete this;
    return ULONG(left);
}

// Always S_OK: what goes wrong in the work handed on is the program's, not the store's.
STDMETHODIMP_(ULONG) AdviseSink::OnNotify(ULONG count, LPNOTIFICATION notifications) {
    if (kind == mailSink)
        onMailNotifications(window, count, notifications);
    else
        reloadCalendar(); // every event of the calendar folder, also while paused
    return S_OK;
}
