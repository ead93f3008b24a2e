#include "delete_mail.h"

#include "app/app_state.h"
#include "app/handles.h"
#include "mail/mail_message.h"
#include "window/history.h"

#include <commctrl.h>
#include <mapicode.h>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int senderTestLength = 30; // the sender line is tested for being empty only

enum class Deletion { deleted, alreadyGone, refused };

// The mail to delete, copied before the store is called: the store may deliver notifications
// during its calls (its progress dialog runs a message loop), and a new mail then replaces
// the identifiers in the record while the call still reads them.
struct MailToDelete {
    std::vector<BYTE> entryId, folderId;
};

ENTRYID* asEntryId(std::vector<BYTE>& bytes) {
    return reinterpret_cast<ENTRYID*>(bytes.data());
}

// The answers that say a mail is not there, whatever the store's wording.
bool meansGone(HRESULT result) {
    return result == MAPI_E_NOT_FOUND || result == MAPI_E_INVALID_ENTRYID ||
           result == MAPI_E_OBJECT_DELETED;
}

// Whether the store still has the mail. Asked without MAPI_DEFERRED_ERRORS, and a property
// read, since a store may defer a lookup to the object's first use: only an answer that says
// the mail is not there counts as gone.
bool storeStillHasMail(IMsgStore* store, MailToDelete& mail) {
    ULONG type = 0;
    ComPtr<IMAPIProp> message;
    HRESULT result = store->OpenEntry(ULONG(mail.entryId.size()), asEntryId(mail.entryId), nullptr,
                                      0, &type, message.putAs<IUnknown>());
    if (SUCCEEDED(result) && message) {
        SizedSPropTagArray(1, tags) = {1, {PR_ENTRYID}};
        ULONG count = 0;
        SPropValue* values = nullptr;
        result = message->GetProps(reinterpret_cast<SPropTagArray*>(&tags), 0, &count, &values);
        MapiBuffer<SPropValue> owned(values);
        if (SUCCEEDED(result) && values && PROP_TYPE(values[0].ulPropTag) == PT_ERROR)
            result = values[0].Value.err;
    }
    return !meansGone(result);
}

Deletion deleteFromStore(HWND window, MailToDelete& mail) {
    IMsgStore* store = app->store;
    if (!store)
        return Deletion::refused;
    ULONG type = 0;
    ComPtr<IMAPIFolder> folder;
    HRESULT result =
        store->OpenEntry(ULONG(mail.folderId.size()), asEntryId(mail.folderId), nullptr,
                         MAPI_MODIFY | MAPI_DEFERRED_ERRORS, &type, folder.putAs<IUnknown>());
    if (SUCCEEDED(result)) {
        SBinary entry{ULONG(mail.entryId.size()), mail.entryId.data()};
        ENTRYLIST list{1, &entry};
        result = folder->DeleteMessages(&list, ULONG_PTR(window), nullptr, MESSAGE_DIALOG);
    }
    // A partial completion of a one-mail list means that mail stayed where it was, or was not
    // there to begin with.
    if (result == S_OK)
        return Deletion::deleted;
    return storeStillHasMail(store, mail) ? Deletion::refused : Deletion::alreadyGone;
}

// The first line, from the top, that carries the mail; -1 when none does.
int lineOfMail(const std::vector<BYTE>& entryId) {
    const int count = int(SendMessageA(app->historyList, LVM_GETITEMCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        const HistoryItem* item = historyItemAt(index);
        if (item && item->entryIdSize == entryId.size() &&
            (entryId.empty() || std::memcmp(item->entryId, entryId.data(), entryId.size()) == 0))
            return index;
    }
    return -1;
}

bool isMailShown(const std::vector<BYTE>& entryId) {
    return app->currentEntryIdSize == entryId.size() &&
           (entryId.empty() ||
            std::memcmp(app->currentEntryId, entryId.data(), entryId.size()) == 0);
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

    MailToDelete mail{{app->currentEntryId, app->currentEntryId + app->currentEntryIdSize},
                      {app->currentFolderId, app->currentFolderId + app->currentFolderIdSize}};
    if (deleteFromStore(window, mail) == Deletion::refused) {
        // Unless a mail that came during the calls is shown by now.
        if (isMailShown(mail.entryId))
            for (size_t i = 0; i < std::size(display); ++i)
                SetWindowTextA(display[i], shown[i].c_str());
        MessageBoxA(window, "The mail could not be deleted", "Error", MB_ICONINFORMATION);
        return;
    }

    // Found again: lines may have come or gone while the store was called.
    if (const int line = lineOfMail(mail.entryId); line >= 0) {
        removeHistoryLine(line);
        LVITEMA state{};
        state.stateMask = 0x000F;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(app->historyList, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    }
    showHistoryEntry(HistoryLine::selected);
}
