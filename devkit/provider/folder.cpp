#include "folder.h"

#include "faults.h"
#include "folder_name.h"
#include "notifier.h"
#include "table.h"

namespace maildir {

STDMETHODIMP Folder::GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                              LPSPropValue* values) {
    MAILDIR_FAULT_POINT("IMAPIFolder::GetProps");
    std::lock_guard guard(store_->lock);
    return getProps(store_->folderProperties(path_), tags, flags, count, values);
}

STDMETHODIMP Folder::SaveChanges(ULONG) {
    MAILDIR_FAULT_POINT("IMAPIFolder::SaveChanges");
    return S_OK; // a folder exists on disk from the moment it is created
}

// A folder may have a thousand subfolders while a program asks only for their identifiers:
// each row holds at first its identity, name and depth, and what takes reading the disk (its
// counts and subfolders) is found when more of it is asked for.
STDMETHODIMP Folder::GetHierarchyTable(ULONG flags, LPMAPITABLE* table) {
    MAILDIR_FAULT_POINT("IMAPIFolder::GetHierarchyTable");
    if (!table)
        return MAPI_E_INVALID_PARAMETER;
    std::vector<Properties> rows;
    auto found = std::make_shared<std::vector<std::pair<std::string, LONG>>>(); // path, depth
    {
        std::lock_guard guard(store_->lock);
        // Direct subfolders, or with CONVENIENT_DEPTH the whole tree below, depth first.
        auto add = [&](auto& self, const std::string& parent, LONG depth) -> void {
            for (const auto& child : store_->files().childFolders(parent)) {
                const Bytes id = store_->folderId(child.path);
                rows.push_back({binaryProperty(PR_ENTRYID, id), binaryProperty(PR_INSTANCE_KEY, id),
                                textProperty(PR_DISPLAY_NAME_W, child.displayName),
                                longProperty(PR_DEPTH, depth)});
                found->emplace_back(child.path, depth);
                if (flags & CONVENIENT_DEPTH)
                    self(self, child.path, depth + 1);
            }
        };
        add(add, path_, 1);
    }
    *table = make<Table>(
        std::move(rows),
        std::vector<ULONG>{PR_ENTRYID, PR_DISPLAY_NAME, PR_DEPTH, PR_CONTENT_COUNT, PR_SUBFOLDERS},
        std::vector<ULONG>{PR_ENTRYID, PR_INSTANCE_KEY, PR_DISPLAY_NAME_W, PR_DEPTH},
        [store = store_, found](size_t row) {
            const auto& [path, depth] = (*found)[row];
            std::lock_guard guard(store->lock);
            Properties whole = store->folderProperties(path);
            whole.push_back(longProperty(PR_DEPTH, depth));
            return whole;
        });
    return *table ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

// A folder may hold a hundred thousand messages while a program reads a screenful of them:
// each row holds at first what is known without reading the message (its identifiers and
// flags), and the message is read when more of it is asked for. One that is gone by then keeps
// only its identifiers.
STDMETHODIMP Folder::GetContentsTable(ULONG, LPMAPITABLE* table) {
    MAILDIR_FAULT_POINT("IMAPIFolder::GetContentsTable");
    if (!table)
        return MAPI_E_INVALID_PARAMETER;
    std::vector<Properties> rows;
    auto uniques = std::make_shared<std::vector<std::string>>();
    bool calendar = false;
    {
        std::lock_guard guard(store_->lock);
        calendar = store_->files().isCalendar(path_);
        if (!calendar && store_->files().isMaildir(path_))
            for (const auto& message : store_->files().messages(path_)) {
                rows.push_back(store_->messageKeys(path_, message));
                uniques->push_back(message.unique);
            }
    }
    if (calendar) {
        *table = calendarTable();
        return *table ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
    }
    *table = make<Table>(
        std::move(rows),
        std::vector<ULONG>{PR_ENTRYID, PR_SENDER_NAME, PR_SUBJECT, PR_MESSAGE_DELIVERY_TIME,
                           PR_MESSAGE_FLAGS},
        Store::messageKeyTags(), [store = store_, folder = path_, uniques](size_t row) {
            const std::string& unique = (*uniques)[row];
            std::lock_guard guard(store->lock);
            if (auto properties = store->messageProperties(folder, unique))
                return std::move(*properties);
            const Bytes id = store->messageId(folder, unique);
            return Properties{binaryProperty(PR_ENTRYID, id), binaryProperty(PR_INSTANCE_KEY, id)};
        });
    return *table ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

// The appointments of a calendar folder as they are now; those that cannot be read are left
// out. A calendar may hold many thousands while a program asks for the few coming reminders:
// each row holds at first what a program restricts and sorts on, and is made whole only when
// more of it is asked for. Files that have not changed are not read again, and those that are
// read are read outside the store's lock: a large or costly calendar holds up no other caller
// of the store (a new mail's reading among them).
IMAPITable* Folder::calendarTable() {
    struct Loaded {
        devkit::CalendarItem item;
        std::int64_t written;
    };
    // A watched folder's list is kept from its changes; others are listed. Both keep their own
    // records: the store's lock is not taken.
    std::vector<devkit::CalendarFile> files;
    if (!store_->calendarLists().visit(
            path_, [&](const devkit::CalendarFile& file) { files.push_back(file); }))
        files = store_->files().calendarFiles(path_);
    auto loaded = std::make_shared<std::vector<Loaded>>();
    const std::int64_t now = unixNow();
    for (const devkit::CalendarFile& file : files) {
        devkit::CalendarItem item = store_->calendar().load(file, now, store_->reminderLinger);
        if (item.appointment)
            loaded->push_back({std::move(item), file.written});
    }
    std::vector<Properties> rows;
    rows.reserve(loaded->size());
    for (const Loaded& item : *loaded)
        rows.push_back(store_->appointmentKeys(path_, item.item));
    return make<Table>(
        std::move(rows),
        std::vector<ULONG>{PR_ENTRYID, PR_SUBJECT, PROP_TAG(PT_SYSTIME, named::reminderTime),
                           PR_MESSAGE_CLASS},
        Store::appointmentKeyTags(), [store = store_, folder = path_, loaded](size_t row) {
            const Loaded& item = (*loaded)[row];
            return store->appointmentProperties(folder, item.item, item.written);
        });
}

STDMETHODIMP Folder::OpenEntry(ULONG size, LPENTRYID id, LPCIID, ULONG flags, ULONG* type,
                               LPUNKNOWN* object) {
    MAILDIR_FAULT_POINT("IMAPIFolder::OpenEntry");
    return openEntry(store_, size, id, flags, type, object);
}

STDMETHODIMP Folder::CreateFolder(ULONG type, LPTSTR name, LPTSTR, LPCIID, ULONG flags,
                                  LPMAPIFOLDER* folder) {
    MAILDIR_FAULT_POINT("IMAPIFolder::CreateFolder");
    if (!name || !folder || (type != FOLDER_GENERIC && type != FOLDER_SEARCH))
        return MAPI_E_INVALID_PARAMETER;
    if (type == FOLDER_SEARCH)
        return MAPI_E_NO_SUPPORT;
    *folder = nullptr;
    const std::string utf8 = (flags & MAPI_UNICODE)
                                 ? wideToUtf8(reinterpret_cast<const wchar_t*>(name))
                                 : ansiToUtf8(name);
    if (!devkit::childFolderPath(path_, utf8))
        return MAPI_E_INVALID_PARAMETER; // empty, or too long for an identifier to name
    std::optional<std::string> created;
    bool existed = false;
    {
        std::lock_guard guard(store_->lock);
        try {
            created = store_->files().createFolder(path_, utf8, existed);
        } catch (const std::exception&) {
            return MAPI_E_DISK_ERROR;
        }
    }
    if (!created)
        return MAPI_E_CALL_FAILED;
    if (existed && !(flags & OPEN_IF_EXISTS))
        return MAPI_E_COLLISION;
    *folder = make<Folder>(store_, *created);
    return *folder ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

// Deletes for good. Every identifier is checked before anything is deleted: one that is
// malformed or points outside the store refuses the whole request. Messages that are not in
// this folder (any more) are skipped with a partial-completion warning.
STDMETHODIMP Folder::DeleteMessages(LPENTRYLIST messages, ULONG, LPMAPIPROGRESS, ULONG flags) {
    MAILDIR_FAULT_POINT("IMAPIFolder::DeleteMessages");
    // A real store's progress dialog runs a message loop before the list is read.
    if (flags & MESSAGE_DIALOG)
        Notifier::instance().deliverWaitingInCall();
    if (!messages || (messages->cValues && !messages->lpbin))
        return MAPI_E_INVALID_PARAMETER;
    std::vector<std::string> uniques;
    bool partial = false;
    for (ULONG i = 0; i < messages->cValues; ++i) {
        const SBinary& id = messages->lpbin[i];
        const auto entry = store_->parse(id.cb, reinterpret_cast<const ENTRYID*>(id.lpb));
        if (!entry || entry->kind != devkit::EntryKind::message)
            return MAPI_E_INVALID_ENTRYID;
        if (entry->folder == path_)
            uniques.push_back(entry->message);
        else
            partial = true;
    }
    std::lock_guard guard(store_->lock);
    const bool calendar = store_->files().isCalendar(path_);
    for (const std::string& unique : uniques)
        partial |= calendar ? !store_->files().deleteCalendarFile(path_, unique)
                            : !store_->files().deleteMessage(path_, unique);
    return partial ? MAPI_W_PARTIAL_COMPLETION : S_OK;
}

STDMETHODIMP Folder::GetNamesFromIDs(LPSPropTagArray* tags, LPGUID set, ULONG flags, ULONG* count,
                                     LPMAPINAMEID** names) {
    MAILDIR_FAULT_POINT("IMAPIFolder::GetNamesFromIDs");
    return getNamesFromIDs(store_->names(), tags, set, flags, count, names);
}

STDMETHODIMP Folder::GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                                     LPSPropTagArray* tags) {
    MAILDIR_FAULT_POINT("IMAPIFolder::GetIDsFromNames");
    return getIDsFromNames(store_->names(), count, names, flags, tags);
}

} // namespace maildir
