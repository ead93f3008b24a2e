#include "new_mail.h"

#include "app/app_state.h"
#include "app/do_not_disturb.h"
#include "blink.h"
#include "mail_display.h"
#include "notification_text.h"
#include "window/batched_paint.h"
#include "window/held_popup.h"
#include "window/history.h"
#include "window/notification_window.h"

#include <algorithm>
#include <commctrl.h>
#include <mmsystem.h>

void(WINAPI* readLocalTime)(LPSYSTEMTIME) = &GetLocalTime;
BOOL(WINAPI* playSoundFile)(LPCSTR, HMODULE, DWORD) = &PlaySoundA;

namespace {

// Reads the mail and makes it the mail now shown, with its arrival line, and the top line of
// the history. A mail that cannot be opened or read leaves the window, the mail now shown and
// the history as they were.
void announce(const NEWMAIL_NOTIFICATION& notification) {
    MailForDisplay mail;
    if (!readMailForDisplay(app->store, notification.cbEntryID,
                            reinterpret_cast<const BYTE*>(notification.lpEntryID), mail))
        return;
    addHistoryEntry(mail);
    // The window's sender and subject lines hold one character less than a history line.
    if (mail.sender.size() >= senderCapacity)
        mail.sender.resize(senderCapacity - 1);
    if (mail.subject.size() >= senderCapacity)
        mail.subject.resize(senderCapacity - 1);
    SYSTEMTIME now;
    readLocalTime(&now);
    showMail(mail,
             arrivalLine(now.wDay, now.wMonth, now.wYear, now.wHour, now.wMinute, mail.sender));
}

} // namespace

bool isNewMail(const NOTIFICATION& notification) {
    return (notification.ulEventType & fnevNewMail) != 0;
}

void onMailNotifications(HWND window, ULONG count, const NOTIFICATION* notifications) {
    if (app->paused || !notifications ||
        std::none_of(notifications, notifications + count, isNewMail))
        return;
    // No sound over a full-screen program or a presentation; the popup waits until the user
    // may be interrupted again. The history and the blinking go on as usual.
    if (app->playSound && currentInterruption() != Interruption::silent)
        playSoundFile(app->wavFile, nullptr, SND_FILENAME | SND_NOWAIT | SND_ASYNC);
    if (app->displayWindow)
        popUpNotificationWindow();
    {
        BatchedPaint paint(app->mainWindow);
        for (ULONG i = 0; i < count; ++i)
            if (isNewMail(notifications[i]))
                announce(notifications[i].info.newmail);
    }
    if (app->mailPending == 0) {
        app->mailPending = 1; // before the thread starts, so that it never sees 0
        startBlinkThread(window);
    }
}
