#include "session.h"

#include "faults.h"
#include "msg_store.h"
#include "table.h"

namespace maildir {

// Runs a store method on a temporary store object.
HRESULT Session::withStore(const auto& call) {
    MsgStore* store = make<MsgStore>(store_);
    if (!store)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    const HRESULT result = call(store);
    store->Release();
    return result;
}

STDMETHODIMP Session::GetMsgStoresTable(ULONG, LPMAPITABLE* table) {
    MAILDIR_FAULT_POINT("IMAPISession::GetMsgStoresTable");
    if (!table)
        return MAPI_E_INVALID_PARAMETER;
    Properties row = {
        binaryProperty(PR_ENTRYID, store_->storeId()),
        binaryProperty(PR_INSTANCE_KEY, store_->storeId()),
        binaryProperty(PR_RECORD_KEY, Bytes(store_->uid().begin(), store_->uid().end())),
        textProperty(PROP_TAG(PT_UNICODE, PROP_ID(PR_DISPLAY_NAME)), "Maildir store"),
        textProperty(PROP_TAG(PT_UNICODE, PROP_ID(PR_PROVIDER_DISPLAY)), "Maildir MAPI store"),
        boolProperty(PR_DEFAULT_STORE, stores_ != StoresTable::noDefault),
        longProperty(PR_RESOURCE_FLAGS,
                     stores_ != StoresTable::noDefault ? STATUS_DEFAULT_STORE : 0),
        binaryProperty(PR_MDB_PROVIDER,
                       Bytes(devkit::kitProviderUid.begin(), devkit::kitProviderUid.end())),
    };
    std::vector<Properties> rows;
    if (stores_ != StoresTable::empty)
        rows.push_back(std::move(row));
    *table = make<Table>(std::move(rows),
                         std::vector<ULONG>{PR_ENTRYID, PR_DISPLAY_NAME, PR_DEFAULT_STORE});
    return *table ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

STDMETHODIMP Session::GetStatusTable(ULONG, LPMAPITABLE* table) {
    MAILDIR_FAULT_POINT("IMAPISession::GetStatusTable");
    if (!table)
        return MAPI_E_INVALID_PARAMETER;
    *table =
        make<Table>(emptyStatusTable_ ? std::vector<Properties>() : statusRows(*store_, *drops_),
                    std::vector<ULONG>{PR_ROWID, PR_ENTRYID, PR_DISPLAY_NAME, PR_RESOURCE_TYPE,
                                       PR_STATUS_CODE});
    return *table ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

STDMETHODIMP Session::OpenMsgStore(ULONG_PTR, ULONG size, LPENTRYID id, LPCIID, ULONG,
                                   LPMDB* store) {
    MAILDIR_FAULT_POINT("IMAPISession::OpenMsgStore");
    if (!store)
        return MAPI_E_INVALID_PARAMETER;
    *store = nullptr;
    const auto entry = store_->parse(size, id);
    if (!entry || entry->kind != devkit::EntryKind::store)
        return MAPI_E_INVALID_ENTRYID;
    *store = make<MsgStore>(store_);
    return *store ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

STDMETHODIMP Session::OpenEntry(ULONG size, LPENTRYID id, LPCIID, ULONG flags, ULONG* type,
                                LPUNKNOWN* object) {
    MAILDIR_FAULT_POINT("IMAPISession::OpenEntry");
    if (const auto status = parseStatusId(*store_, *drops_, size, id))
        return openStatus(store_, drops_, *status, type, object);
    return openEntry(store_, size, id, flags, type, object);
}

STDMETHODIMP Session::CompareEntryIDs(ULONG size1, LPENTRYID id1, ULONG size2, LPENTRYID id2,
                                      ULONG flags, ULONG* result) {
    return withStore([&](MsgStore* store) {
        return store->CompareEntryIDs(size1, id1, size2, id2, flags, result);
    });
}

STDMETHODIMP Session::Advise(ULONG size, LPENTRYID id, ULONG mask, LPMAPIADVISESINK sink,
                             ULONG* connection) {
    return withStore(
        [&](MsgStore* store) { return store->Advise(size, id, mask, sink, connection); });
}

STDMETHODIMP Session::Unadvise(ULONG connection) {
    return withStore([&](MsgStore* store) { return store->Unadvise(connection); });
}

STDMETHODIMP Session::Logoff(ULONG_PTR, ULONG, ULONG) {
    return S_OK;
}

} // namespace maildir
