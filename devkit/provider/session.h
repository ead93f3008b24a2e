// IMAPISession: one profile with one store, the default.
#pragma once
#include "defaults.h"
#include "status.h"
#include "store.h"

#include <memory>

namespace maildir {

// How the stores table shows the one store; the other forms let programs test their handling.
enum class StoresTable { defaultStore, empty, noDefault };

class Session final : public SessionDefaults {
public:
    Session(std::shared_ptr<Store> store, StoresTable stores, MailDrops drops,
            bool emptyStatusTable)
        : store_(std::move(store)), stores_(stores), drops_(std::move(drops)),
          emptyStatusTable_(emptyStatusTable) {}

    STDMETHODIMP GetMsgStoresTable(ULONG flags, LPMAPITABLE* table) override;
    STDMETHODIMP OpenMsgStore(ULONG_PTR uiParam, ULONG size, LPENTRYID id, LPCIID iid, ULONG flags,
                              LPMDB* store) override;
    STDMETHODIMP GetStatusTable(ULONG flags, LPMAPITABLE* table) override;
    // Status identifiers open status objects; every other identifier, the store's objects.
    STDMETHODIMP OpenEntry(ULONG size, LPENTRYID id, LPCIID iid, ULONG flags, ULONG* type,
                           LPUNKNOWN* object) override;
    STDMETHODIMP CompareEntryIDs(ULONG size1, LPENTRYID id1, ULONG size2, LPENTRYID id2,
                                 ULONG flags, ULONG* result) override;
    STDMETHODIMP Advise(ULONG size, LPENTRYID id, ULONG mask, LPMAPIADVISESINK sink,
                        ULONG* connection) override;
    STDMETHODIMP Unadvise(ULONG connection) override;
    STDMETHODIMP Logoff(ULONG_PTR uiParam, ULONG flags, ULONG reserved) override;

private:
    bool answers(REFIID iid) const override { return IsEqualIID(iid, IID_IMAPISession); }
    HRESULT withStore(const auto& call);

    std::shared_ptr<Store> store_;
    StoresTable stores_;
    MailDrops drops_;
    bool emptyStatusTable_; // lets programs test their handling of a table without rows
};

} // namespace maildir
