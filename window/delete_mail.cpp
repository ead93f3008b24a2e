#include "delete_mail.h"

#include "app/app_state.h"
#include "app/handles.h"
#include "mail/mail_message.h"
#include "window/history.h"

#include <commctrl.h>
#include <mapicode.h>
#include <cstring>
#include <string>

namespace {

constexpr int senderTestLength = 30; // the sender line is tested for being empty only

enum class Deletion { deleted, alreadyGone, refused };

ENTRYID* asEntryId(BYTE* bytes) {
    return reinterpret_cast<ENTRYID*>(bytes);
}

// Whether the store still has the mail now shown: only its own "not found" says it has not.
bool storeStillHasMail() {
    ULONG type = 0;
    ComPtr<IUnknown> message;
    return app->store.load()->OpenEntry(app->currentEntryIdSize, asEntryId(app->currentEntryId),
                                        nullptr, openMailFlags, &type,
                                        message.put()) != MAPI_E_NOT_FOUND;
}

Deletion deleteFromStore(HWND window) {
    IMsgStore* store = app->store;
    if (!store)
        return Deletion::refused;
    ULONG type = 0;
    ComPtr<IMAPIFolder> folder;
    HRESULT result =
        store->OpenEntry(app->currentFolderIdSize, asEntryId(app->currentFolderId), nullptr,
                         MAPI_MODIFY | MAPI_DEFERRED_ERRORS, &type, folder.putAs<IUnknown>());
    if (SUCCEEDED(result)) {
        SBinary entry{app->currentEntryIdSize, app->currentEntryId};
        ENTRYLIST list{1, &entry};
        result = folder->DeleteMessages(&list, ULONG_PTR(window), nullptr, MESSAGE_DIALOG);
    }
    // A partial completion of a one-mail list means that mail stayed where it was, or was not
    // there to begin with.
    if (result == S_OK)
        return Deletion::deleted;
    return storeStillHasMail() ? Deletion::refused : Deletion::alreadyGone;
}

// The first line, from the top, that carries the mail now shown; -1 when none does.
int lineOfMailShown() {
    const int count = int(SendMessageA(app->historyList, LVM_GETITEMCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        const HistoryItem* item = historyItemAt(index);
        if (item && item->entryIdSize == app->currentEntryIdSize &&
            (item->entryIdSize == 0 ||
             std::memcmp(item->entryId, app->currentEntryId, item->entryIdSize) == 0))
            return index;
    }
    return -1;
}

std::string textOf(HWND control) {
    std::string text(size_t(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(size_t(GetWindowTextA(control, text.data(), int(text.size()))));
    return text;
}

} // namespace

void deleteMail(HWND window) {
    if (MessageBoxA(window, "Are you sure you want to permanently delete this mail", "WARNING",
                    MB_YESNO | MB_ICONSTOP) != IDYES)
        return;
    char sender[senderTestLength] = "";
    SendMessageA(app->senderLabel, WM_GETTEXT, senderTestLength, reinterpret_cast<LPARAM>(sender));
    if (!sender[0]) {
        MessageBoxA(window, "No mail to delete", "INFO", MB_ICONINFORMATION);
        return;
    }

    // Kept to show the mail again should the store keep it.
    const std::string shown[] = {textOf(app->senderLabel), textOf(app->subjectLabel),
                                 textOf(app->previewEdit)};
    const HWND display[] = {app->senderLabel, app->subjectLabel, app->previewEdit};
    for (HWND control : display)
        SetWindowTextA(control, "");

    if (deleteFromStore(window) == Deletion::refused) {
        for (size_t i = 0; i < std::size(display); ++i)
            SetWindowTextA(display[i], shown[i].c_str());
        MessageBoxA(window, "The mail could not be deleted", "Error", MB_ICONINFORMATION);
        return;
    }

    if (const int line = lineOfMailShown(); line >= 0) {
        removeHistoryLine(line);
        LVITEMA state{};
        state.stateMask = 0x000F;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(app->historyList, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    }
    showHistoryEntry(HistoryLine::selected);
}
