#include "resume.h"

#include "app_state.h"
#include "failure_trace.h"
#include "handles.h"
#include "calendar/reminder_clock.h"
#include "mail/forced_delivery.h"
#include "mail/receive_folder.h"
#include "mail/tray_icon.h"

#include <mapidefs.h>

namespace {

// The Inbox's identifier: one call that a store on a server answers only when it is reachable.
bool storeAnswers(IMsgStore* store) {
    ULONG size = 0;
    MapiBuffer<ENTRYID> id;
    return !FAILED(inboxEntryId(store, size, id));
}

void showTip(const char* tip) {
    if (trayTip.exchange(tip) == tip)
        return;
    NOTIFYICONDATAA data = trayIconData(app->mainWindow, nullptr);
    data.uFlags = NIF_TIP; // the icon stays as it is, blinking or not
    shellNotifyIcon(NIM_MODIFY, &data);
}

} // namespace

bool isResume(WPARAM powerEvent) {
    return powerEvent == PBT_APMRESUMEAUTOMATIC || powerEvent == PBT_APMRESUMESUSPEND;
}

void onResume() {
    wakeReminderClock();
    if (app->msMailServer)
        wakeForcedDelivery();
    if (IMsgStore* store = app->store)
        showTip(storeAnswers(store) ? trayTipNormal : trayTipStoreSilent);
}
