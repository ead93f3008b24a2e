#define USES_IID_IMAPIAdviseSink
#include "advise_sink.h"

#include <initguid.h>
#include <mapiguid.h>

#include "app/messages.h"
#include "calendar/calendar_reload.h"
#include "new_mail.h"

#include <memory>
#include <vector>

namespace {

// What the new-mail work needs of a batch: the new mails' entry identifiers, in order.
struct MailBatch {
    std::vector<std::vector<BYTE>> entryIds;
};

bool onWindowThread(HWND window) {
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

// Copies the batch and posts it; the store's thread never waits for the window's.
void postMailBatch(HWND window, ULONG count, const NOTIFICATION* notifications) {
    if (!notifications)
        return;
    auto batch = std::make_unique<MailBatch>();
    for (ULONG i = 0; i < count; ++i)
        if (isNewMail(notifications[i])) {
            const NEWMAIL_NOTIFICATION& mail = notifications[i].info.newmail;
            const auto* bytes = reinterpret_cast<const BYTE*>(mail.lpEntryID);
            batch->entryIds.emplace_back(bytes, bytes ? bytes + mail.cbEntryID : bytes);
        }
    if (batch->entryIds.empty())
        return;
    if (PostMessageA(window, WM_MAIL_BATCH, 0, reinterpret_cast<LPARAM>(batch.get())))
        batch.release(); // the window's thread frees it
}

} // namespace

// IUnknown and IMAPIAdviseSink, both this object, as COM's identity rule wants.
STDMETHODIMP AdviseSink::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMAPIAdviseSink)) {
        *object = static_cast<IMAPIAdviseSink*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) AdviseSink::AddRef() {
    return ULONG(InterlockedIncrement(&refCount));
}

STDMETHODIMP_(ULONG) AdviseSink::Release() {
    const LONG left = InterlockedDecrement(&refCount);
    if (left == 0)
        delete this;
    return ULONG(left);
}

// Always S_OK: what goes wrong in the work handed on is the program's, not the store's.
STDMETHODIMP_(ULONG) AdviseSink::OnNotify(ULONG count, LPNOTIFICATION notifications) {
    if (!onWindowThread(window)) {
        if (kind == mailSink)
            postMailBatch(window, count, notifications);
        else
            PostMessageA(window, WM_CALENDAR_CHANGED, 0, 0);
        return S_OK;
    }
    if (kind == mailSink)
        onMailNotifications(window, count, notifications);
    else
        reloadCalendar(); // every event of the calendar folder, also while paused
    return S_OK;
}

void onPostedMailBatch(HWND window, LPARAM posted) {
    const std::unique_ptr<MailBatch> batch(reinterpret_cast<MailBatch*>(posted));
    if (!batch)
        return;
    std::vector<NOTIFICATION> notifications(batch->entryIds.size());
    for (size_t i = 0; i < notifications.size(); ++i) {
        notifications[i].ulEventType = fnevNewMail;
        NEWMAIL_NOTIFICATION& mail = notifications[i].info.newmail;
        mail.cbEntryID = ULONG(batch->entryIds[i].size());
        mail.lpEntryID = reinterpret_cast<ENTRYID*>(batch->entryIds[i].data());
    }
    onMailNotifications(window, ULONG(notifications.size()), notifications.data());
}

void onPostedCalendarChange() {
    reloadCalendar();
}
