#include "history.h"

#include "app/app_state.h"
#include "mail/mail_message.h"
#include "mail/notification_text.h"
#include "window/batched_paint.h"

#include <commctrl.h>
#include <cstdio>
#include <cstring>

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

void addHistoryEntry(uint32_t entryIdSize, const BYTE* entryId) {
    BatchedPaint paint(app->historyList);
    if (lineCount() >= historyLimit)
        removeHistoryLine(lineCount() - 1);
    IMsgStore* store = app->store;
    if (!store)
        return;
    OpenedMail mail;
    if (!mail.open(store, entryIdSize, entryId))
        return;
    constexpr ULONG lineTags[] = {PR_SENDER_NAME, PR_SUBJECT, PR_ENTRYID};
    if (FAILED(mail.read(lineTags)))
        return;
    char sender[historyTextCapacity] = {}, subject[historyTextCapacity] = {};
    boundedCopy(subject, sizeof subject, textOf(mail[1], PR_SUBJECT));
    boundedCopy(sender, sizeof sender, textOf(mail[0], PR_SENDER_NAME));

    // The line keeps the identifier the mail itself gives (the caller's when it gives none).
    const SBinary* own = binaryOf(mail[2], PR_ENTRYID);
    const SBinary fallback{entryIdSize, const_cast<BYTE*>(entryId)};
    const SBinary& id = own ? *own : fallback;
    auto* record = new HistoryItem{new BYTE[id.cb ? id.cb : 1], id.cb};
    if (id.cb)
        std::memcpy(record->entryId, id.lpb, id.cb);

    LVITEMA line{};
    line.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
    line.iItem = 0;
    line.pszText = sender;
    line.cchTextMax = int(std::strlen(sender));
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
    column.pszText = subject;
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

    auto dropLine = [&] {
        removeHistoryLine(index);
        selectTopHistoryLine();
    };
    OpenedMail mail;
    if (!mail.open(app->store, item->entryIdSize, item->entryId)) {
        dropLine();
        return;
    }
    if (FAILED(mail.read(shownMailTags))) {
        mail.close();
        dropLine();
        return;
    }
    char sender[historyTextCapacity] = {}, subject[historyTextCapacity] = {};
    char body[4096] = {};
    boundedCopy(sender, sizeof sender, textOf(mail[0], PR_SENDER_NAME));
    boundedCopy(subject, sizeof subject, textOf(mail[1], PR_SUBJECT));
    boundedCopy(body, bodyCopyLimit, textOf(mail[2], PR_BODY));
    replaceMailNowShown(binaryOf(mail[3], PR_ENTRYID), binaryOf(mail[4], PR_STORE_ENTRYID),
                        binaryOf(mail[5], PR_PARENT_ENTRYID));
    mail.close();

    BatchedPaint paint(app->mainWindow);
    char senderLine[historyTextCapacity + 32];
    std::snprintf(senderLine, sizeof senderLine, "New mail from: %s", sender);
    SetWindowTextA(app->senderLabel, senderLine);
    SetWindowTextA(app->subjectLabel, subject);
    SetWindowTextA(app->previewEdit, body);
}
