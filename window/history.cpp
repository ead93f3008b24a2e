#include "history.h"

#include "app/app_state.h"
#include "mail/mail_display.h"
#include "window/batched_paint.h"

#include <commctrl.h>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

namespace {

int lineCount() {
    return int(SendMessageA(app->historyList, LVM_GETITEMCOUNT, 0, 0));
}

} // namespace

HistoryItem* historyItemAt(int index) {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessageA(app->historyList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return nullptr;
    return reinterpret_cast<HistoryItem*>(item.lParam);
}

void removeHistoryLine(int index) {
    if (HistoryItem* item = historyItemAt(index)) {
        delete[] item->entryId;
        delete item;
    }
    SendMessageA(app->historyList, LVM_DELETEITEM, index, 0);
}

void selectTopHistoryLine() {
    LVITEMA state{};
    state.stateMask = LVIS_FOCUSED | LVIS_SELECTED | LVIS_CUT | LVIS_DROPHILITED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(app->historyList, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
}

void addHistoryEntry(const MailForDisplay& mail) {
    BatchedPaint paint(app->historyList);
    if (lineCount() >= historyLimit)
        removeHistoryLine(lineCount() - 1);
    std::string sender = mail.sender, subject = mail.subject; // the control takes them unconst
    const size_t size = mail.entryId.size();
    auto* record = new HistoryItem{new BYTE[size ? size : 1], uint32_t(size)};
    if (size)
        std::memcpy(record->entryId, mail.entryId.data(), size);

    LVITEMA line{};
    line.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
    line.iItem = 0;
    line.pszText = sender.data();
    line.cchTextMax = int(sender.size());
    line.lParam = reinterpret_cast<LPARAM>(record);
    const int index =
        int(SendMessageA(app->historyList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&line)));
    if (index < 0) {
        delete[] record->entryId;
        delete record;
        return;
    }
    LVITEMA column{};
    column.mask = LVIF_TEXT;
    column.iItem = index;
    column.iSubItem = 1;
    column.pszText = subject.data();
    SendMessageA(app->historyList, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&column));
}

void showHistoryEntry(HistoryLine which) {
    const UINT wanted = which == HistoryLine::focused ? LVIS_FOCUSED : LVIS_SELECTED;
    int index = -1;
    for (int i = 0, count = lineCount(); i < count; ++i)
        if (SendMessageA(app->historyList, LVM_GETITEMSTATE, i, wanted) & wanted) {
            index = i;
            break;
        }
    HistoryItem* item = index < 0 ? nullptr : historyItemAt(index); // no line: nothing to show
    if (!item)
        return;

    // The store may deliver notifications while it reads: a new mail adds a line, and may push
    // this one out and free its record. The read works on a copy, and the line is found again.
    const std::vector<BYTE> entryId(item->entryId, item->entryId + item->entryIdSize);
    MailForDisplay mail;
    if (!readMailForDisplay(app->store, ULONG(entryId.size()), entryId.data(), mail)) {
        for (int i = 0, count = lineCount(); i < count; ++i)
            if (const HistoryItem* now = historyItemAt(i);
                now == item && now->entryIdSize == entryId.size() &&
                std::equal(entryId.begin(), entryId.end(), now->entryId)) {
                removeHistoryLine(i);
                break;
            }
        selectTopHistoryLine();
        return;
    }
    BatchedPaint paint(app->mainWindow);
    showMail(mail, "New mail from: " + mail.sender);
}
