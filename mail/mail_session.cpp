#include "mail_session.h"

#include "advise_sink.h"
#include "app/app_state.h"
#include "app/failure_trace.h"
#include "app/handles.h"
#include "calendar/calendar_folder.h"
#include "receive_folder.h"

#include <mapidefs.h>
#include <mapitags.h>
#include <mapicode.h>
#include <cstring>

namespace {

constexpr ULONG logonFlags = MAPI_LOGON_UI | MAPI_EXTENDED | MAPI_USE_DEFAULT;
// New mail, and objects created, deleted, modified, moved and copied.
constexpr ULONG adviseMask = fnevNewMail | fnevObjectCreated | fnevObjectDeleted |
                             fnevObjectModified | fnevObjectMoved | fnevObjectCopied;
constexpr ULONG openFolderFlags = MAPI_MODIFY | MAPI_DEFERRED_ERRORS;
constexpr char calendarFolderName[] = "Calendar";

// A tag array of fixed size on the stack.
template <size_t N> struct Tags {
    ULONG count = N;
    ULONG tags[N];
    SPropTagArray* get() { return reinterpret_cast<SPropTagArray*>(this); }
};

ENTRYID* asEntryId(const SBinary& binary) {
    return reinterpret_cast<ENTRYID*>(binary.lpb);
}

// The row set of one row at `index`, or nothing when a call fails.
RowSetPtr rowAt(IMAPITable* table, ULONG index) {
    SRowSet* rows = nullptr;
    if (failed("IMAPITable::SeekRow", table->SeekRow(BOOKMARK_BEGINNING, LONG(index), nullptr)) ||
        failed("IMAPITable::QueryRows", table->QueryRows(1, 0, &rows)))
        return nullptr;
    return RowSetPtr(rows);
}

const SPropValue* onlyValue(const SRowSet* rows, ULONG tag) {
    if (!rows || rows->cRows != 1 || rows->aRow[0].cValues < 1 ||
        rows->aRow[0].lpProps[0].ulPropTag != tag)
        return nullptr;
    return &rows->aRow[0].lpProps[0];
}

// A copy of an identifier in a MAPI buffer.
MapiBuffer<BYTE> mapiCopy(const SBinary& binary) {
    void* copy = nullptr;
    if (failed("MAPIAllocateBuffer", MAPIAllocateBuffer(binary.cb ? binary.cb : 1, &copy)))
        return nullptr;
    std::memcpy(copy, binary.lpb, binary.cb);
    return MapiBuffer<BYTE>(static_cast<BYTE*>(copy));
}

// Registers a new sink on a folder; the sink is released again when that fails.
bool watch(IMsgStore* store, ULONG size, ENTRYID* id, AdviseSink::Kind kind, AdviseSink*& field) {
    auto* sink = new AdviseSink(app->mainWindow, kind);
    field = sink;
    ULONG connection = 0; // never unadvised
    if (failed("IMsgStore::Advise", store->Advise(size, id, adviseMask, sink, &connection))) {
        sink->AddRef();
        sink->Release();
        field = nullptr;
        return false;
    }
    return true;
}

// The row of the store marked as default in the message-stores table, and its identifier.
MapiBuffer<BYTE> defaultStoreId(IMAPISession* session, ULONG& size) {
    ComPtr<IMAPITable> table;
    ULONG count = 0;
    if (failed("IMAPISession::GetMsgStoresTable", session->GetMsgStoresTable(0, table.put())) ||
        failed("IMAPITable::GetRowCount", table->GetRowCount(0, &count)))
        return nullptr;
    if (count == 0) {
        traceFailure("IMAPISession::GetMsgStoresTable", "no stores");
        return nullptr;
    }
    Tags<1> defaultColumn{1, {PR_DEFAULT_STORE}};
    ULONG found = count;
    for (ULONG i = 0; i < count && found == count; ++i) {
        if (failed("IMAPITable::SetColumns", table->SetColumns(defaultColumn.get(), 0)))
            return nullptr;
        RowSetPtr row = rowAt(table.get(), i);
        if (!row)
            return nullptr;
        if (const SPropValue* value = onlyValue(row.get(), PR_DEFAULT_STORE);
            value && value->Value.b)
            found = i;
    }
    if (found == count) {
        traceFailure("IMAPISession::GetMsgStoresTable", "no default store");
        return nullptr;
    }
    Tags<1> idColumn{1, {PR_ENTRYID}};
    if (failed("IMAPITable::SetColumns", table->SetColumns(idColumn.get(), 0)))
        return nullptr;
    RowSetPtr row = rowAt(table.get(), found);
    if (!row)
        return nullptr;
    const SPropValue* id = onlyValue(row.get(), PR_ENTRYID);
    if (!id) {
        traceFailure("IMAPITable::QueryRows", "the default store has no PR_ENTRYID");
        return nullptr;
    }
    size = id->Value.bin.cb;
    return mapiCopy(id->Value.bin);
}

// Makes sure the store has an IPM subtree: a generic folder "IPM_SUBTREE" under the root,
// recorded in PR_IPM_SUBTREE_ENTRYID.
bool ensureIpmSubtree(IMsgStore* store) {
    Tags<1> subtreeTag{1, {PR_IPM_SUBTREE_ENTRYID}};
    ULONG count = 0;
    SPropValue* values = nullptr;
    const HRESULT read = store->GetProps(subtreeTag.get(), 0, &count, &values);
    MapiBuffer<SPropValue> subtree(values);
    if (SUCCEEDED(read) && values && count == 1 && values[0].ulPropTag == PR_IPM_SUBTREE_ENTRYID)
        return true;
    subtree.reset();

    ComPtr<IMAPIFolder> root;
    ULONG type = 0;
    if (failed("IMsgStore::OpenEntry",
               store->OpenEntry(0, nullptr, nullptr, MAPI_MODIFY, &type, root.putAs<IUnknown>())))
        return false;
    ComPtr<IMAPIFolder> folder;
    char name[] = "IPM_SUBTREE";
    if (failed("IMAPIFolder::CreateFolder",
               root->CreateFolder(FOLDER_GENERIC, name, nullptr, nullptr, OPEN_IF_EXISTS,
                                  folder.put())))
        return false;
    root.reset();
    if (failed("IMAPIProp::SaveChanges", folder->SaveChanges(KEEP_OPEN_READONLY)))
        return false;
    Tags<1> idTag{1, {PR_ENTRYID}};
    if (failed("IMAPIProp::GetProps", folder->GetProps(idTag.get(), 0, &count, &values)))
        return false;
    MapiBuffer<SPropValue> id(values);
    folder.reset();
    if (values && count == 1 && values[0].ulPropTag == PR_ENTRYID) {
        values[0].ulPropTag = PR_IPM_SUBTREE_ENTRYID;
        if (failed("IMsgStore::SetProps", store->SetProps(1, values, nullptr)))
            return false;
    }
    return true;
}

// One mail sink on the Inbox and one on each of its direct subfolders. An Inbox that cannot be
// found, opened or registered on fails the start: the program would otherwise sit in the tray
// as if it watched, and never announce a mail.
bool watchInbox(IMsgStore* store) {
    ULONG size = 0;
    MapiBuffer<ENTRYID> inboxId;
    if (FAILED(inboxEntryId(store, size, inboxId)))
        return false;
    ENTRYID* const id = inboxId.get();
    if (!id) { // a null identifier would mean the whole store
        traceFailure("IMsgStore::GetReceiveFolder", "no Inbox");
        return false;
    }
    ComPtr<IMAPIFolder> inbox;
    ULONG type = 0;
    if (failed("IMsgStore::OpenEntry", store->OpenEntry(size, id, nullptr, openFolderFlags, &type,
                                                        inbox.putAs<IUnknown>())))
        return false;
    if (!watch(store, size, id, AdviseSink::mailSink, app->inboxSink))
        return false;

    // A subfolder whose row cannot be read, or has no identifier, is skipped.
    ComPtr<IMAPITable> subfolders;
    ULONG count = 0;
    Tags<1> idColumn{1, {PR_ENTRYID}};
    // The Inbox itself is watched: a hierarchy that cannot be read only leaves its subfolders
    // unwatched.
    if (failed("IMAPIFolder::GetHierarchyTable", inbox->GetHierarchyTable(0, subfolders.put())) ||
        failed("IMAPITable::SetColumns", subfolders->SetColumns(idColumn.get(), 0)) ||
        failed("IMAPITable::GetRowCount", subfolders->GetRowCount(0, &count)))
        return true;
    for (ULONG i = 0; i < count; ++i) {
        RowSetPtr row = rowAt(subfolders.get(), i);
        const SPropValue* value = onlyValue(row.get(), PR_ENTRYID);
        if (!value)
            continue;
        MapiBuffer<BYTE> copy = mapiCopy(value->Value.bin);
        if (!copy)
            return false;
        if (!watch(store, value->Value.bin.cb, reinterpret_cast<ENTRYID*>(copy.get()),
                   AdviseSink::mailSink, app->inboxSink))
            return false;
    }
    // The Inbox and its hierarchy table stay open for the life of the process.
    inbox.release();
    subfolders.release();
    return true;
}

// Makes `id` the calendar folder of the reminders and registers a calendar sink on it.
bool watchCalendar(IMsgStore* store, const SBinary& id) {
    MapiBuffer<BYTE> copy = mapiCopy(id);
    if (!copy)
        return false;
    app->calendarFolderId = new BYTE[id.cb ? id.cb : 1]; // never freed: the last one stays
    std::memcpy(app->calendarFolderId, id.lpb, id.cb);
    app->calendarFolderIdSize = id.cb;
    return watch(store, id.cb, reinterpret_cast<ENTRYID*>(copy.get()), AdviseSink::calendarSink,
                 app->calendarSink);
}

// A calendar sink on every top-level folder named "Calendar", in any letter case; without one,
// on the folder that the store names its calendar (a localized mailbox's "Kalender").
bool watchCalendars(IMsgStore* store) {
    Tags<1> subtreeTag{1, {PR_IPM_SUBTREE_ENTRYID}};
    ULONG count = 0, type = 0;
    SPropValue* values = nullptr;
    store->GetProps(subtreeTag.get(), 0, &count, &values);
    MapiBuffer<SPropValue> subtreeId(values);
    ComPtr<IMAPIFolder> subtree;
    if (values && count == 1 && values[0].ulPropTag == PR_IPM_SUBTREE_ENTRYID)
        store->OpenEntry(values[0].Value.bin.cb, asEntryId(values[0].Value.bin), nullptr,
                         openFolderFlags, &type, subtree.putAs<IUnknown>());
    ComPtr<IMAPITable> folders;
    if (!subtree) {
        traceFailure("IMsgStore::OpenEntry", "no IPM subtree for the calendar");
        return false;
    }
    if (failed("IMAPIFolder::GetHierarchyTable",
               subtree->GetHierarchyTable(MAPI_DEFERRED_ERRORS, folders.put())))
        return false;
    Tags<2> columns{2, {PR_ENTRYID, PR_DISPLAY_NAME_A}};
    folders->SetColumns(columns.get(), 0);
    ULONG rows = 0;
    folders->GetRowCount(0, &rows);
    bool named = false;
    for (ULONG i = 0; i < rows; ++i) {
        RowSetPtr row = rowAt(folders.get(), i);
        if (!row)
            return false;
        if (row->cRows != 1 || row->aRow[0].cValues < 2)
            continue;
        const SPropValue* props = row->aRow[0].lpProps;
        if (props[0].ulPropTag != PR_ENTRYID || props[1].ulPropTag != PR_DISPLAY_NAME_A ||
            lstrcmpiA(props[1].Value.lpszA, calendarFolderName) != 0)
            continue;
        named = true;
        if (!watchCalendar(store, props[0].Value.bin))
            return false;
    }
    if (named)
        return true;
    ULONG size = 0;
    MapiBuffer<BYTE> id = appointmentFolderId(store, size);
    return !id || watchCalendar(store, SBinary{size, id.get()});
}

} // namespace

int startMailSession() {
    HRESULT result = MAPIInitialize(nullptr);
    const char* call = "MAPIInitialize";
    IMAPISession* session = nullptr; // lives until the process ends
    if (SUCCEEDED(result)) {
        call = "MAPILogonEx";
        result = MAPILogonEx(reinterpret_cast<ULONG_PTR>(app->splashWindow.load()), nullptr,
                             nullptr, logonFlags, &session);
    }
    if (failed(call, result)) {
        if (result != MAPI_E_USER_CANCEL)
            MessageBoxA(nullptr, "Cannot establish a messaging session", "Error", MB_OK);
        return 0;
    }

    ULONG idSize = 0;
    MapiBuffer<BYTE> storeId = defaultStoreId(session, idSize);
    if (!storeId)
        return 0;
    IMsgStore* store = nullptr; // lives until the process ends
    if (failed("IMAPISession::OpenMsgStore",
               session->OpenMsgStore(0, idSize, reinterpret_cast<ENTRYID*>(storeId.get()), nullptr,
                                     MDB_WRITE, &store)))
        return 0;
    if (!ensureIpmSubtree(store) || !watchInbox(store))
        return 0;
    if (app->calendar && !watchCalendars(store))
        return 0;

    ComPtr<IMAPIFolder> root;
    ComPtr<IMAPITable> rootFolders;
    ULONG type = 0;
    if (failed("IMsgStore::OpenEntry", store->OpenEntry(0, nullptr, nullptr, openFolderFlags, &type,
                                                        root.putAs<IUnknown>())))
        return 0;
    root->GetHierarchyTable(MAPI_DEFERRED_ERRORS, rootFolders.put());

    app->session = session;
    app->store = store;
    return 1;
}
