#include "advise_sink.h"

#include "app/app_state.h"
#include "blink.h"
#include "mail_message.h"
#include "notification_text.h"
#include "window/batched_paint.h"
#include "window/history.h"
#include "window/notification_window.h"

#include <commctrl.h>
#include <cstring>
#include <mmsystem.h>

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

STDMETHODIMP_(ULONG) AdviseSink::OnNotify(ULONG count, LPNOTIFICATION notifications) {
    if (kind != mailSink)
        return S_OK; // the calendar is reloaded once reminders exist
    if (app->paused || count == 0 || !notifications)
        return S_OK;
    // Only the first notification of a call counts.
    if (notifications[0].ulEventType & fnevNewMail)
        onNewMail(notifications[0]);
    return S_OK;
}

void AdviseSink::onNewMail(const NOTIFICATION& notification) {
    std::memset(sender, 0, sizeof sender);
    std::memset(subject, 0, sizeof subject);
    std::memset(body, 0, 4094);

    if (app->playSound)
        PlaySoundA(app->wavFile, nullptr, SND_FILENAME | SND_NOWAIT | SND_ASYNC);
    if (app->displayWindow) {
        showLayout(app->mainWindow, app->expandedLayout != 0);
        SendMessageA(app->animation, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF));
    }

    const NEWMAIL_NOTIFICATION& mail = notification.info.newmail;
    BatchedPaint paint(app->mainWindow);
    OpenedMail message;
    if (message.open(app->store, mail.cbEntryID, reinterpret_cast<const BYTE*>(mail.lpEntryID))) {
        // A value the store could not give leaves its text empty; a failed read leaves all.
        if (SUCCEEDED(message.read(shownMailTags))) {
            boundedCopy(sender, sizeof sender, textOf(message[0], PR_SENDER_NAME));
            boundedCopy(subject, sizeof subject, textOf(message[1], PR_SUBJECT));
            boundedCopy(body, bodyCopyLimit, textOf(message[2], PR_BODY));
            // Without its own identifier the mail cannot be shown again or acted on: the
            // mail now shown and the history stay as they are.
            if (const SBinary* id = binaryOf(message[3], PR_ENTRYID)) {
                replaceMailNowShown(id, binaryOf(message[4], PR_STORE_ENTRYID),
                                    binaryOf(message[5], PR_PARENT_ENTRYID));
                addHistoryEntry(app->currentEntryIdSize, id->lpb);
            }
        }
        message.close();

        SYSTEMTIME now;
        GetLocalTime(&now);
        SetWindowTextA(
            app->senderLabel,
            arrivalLine(now.wDay, now.wMonth, now.wYear, now.wHour, now.wMinute, sender).c_str());
        SetWindowTextA(app->subjectLabel, subject);
        SetWindowTextA(app->previewEdit, body);
    }

    if (app->mailPending == 0) {
        app->mailPending = 1; // before the thread starts, so that it never sees 0
        startBlinkThread(window);
    }
}
