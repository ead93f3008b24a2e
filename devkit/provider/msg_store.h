// IMsgStore over a Maildir tree.
#pragma once
#include "defaults.h"
#include "faults.h"
#include "store.h"

#include <memory>

namespace maildir {

class MsgStore final : public MsgStoreDefaults {
public:
    explicit MsgStore(std::shared_ptr<Store> store) : store_(std::move(store)) {}

    STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                          LPSPropValue* values) override;
    STDMETHODIMP SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override;
    STDMETHODIMP SaveChanges(ULONG flags) override;
    STDMETHODIMP OpenEntry(ULONG size, LPENTRYID id, LPCIID iid, ULONG flags, ULONG* type,
                           LPUNKNOWN* object) override;
    STDMETHODIMP GetReceiveFolder(LPTSTR messageClass, ULONG flags, ULONG* size, LPENTRYID* id,
                                  LPTSTR* explicitClass) override;
    STDMETHODIMP Advise(ULONG size, LPENTRYID id, ULONG mask, LPMAPIADVISESINK sink,
                        ULONG* connection) override;
    STDMETHODIMP Unadvise(ULONG connection) override;
    STDMETHODIMP CompareEntryIDs(ULONG size1, LPENTRYID id1, ULONG size2, LPENTRYID id2,
                                 ULONG flags, ULONG* result) override;
    STDMETHODIMP StoreLogoff(ULONG* flags) override;
    STDMETHODIMP GetNamesFromIDs(LPSPropTagArray* tags, LPGUID set, ULONG flags, ULONG* count,
                                 LPMAPINAMEID** names) override {
        MAILDIR_FAULT_POINT("IMsgStore::GetNamesFromIDs");
        return getNamesFromIDs(store_->names(), tags, set, flags, count, names);
    }
    STDMETHODIMP GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                                 LPSPropTagArray* tags) override {
        MAILDIR_FAULT_POINT("IMsgStore::GetIDsFromNames");
        return getIDsFromNames(store_->names(), count, names, flags, tags);
    }

private:
    bool answers(REFIID iid) const override { return oneOf(iid, {&IID_IMsgStore, &IID_IMAPIProp}); }

    std::shared_ptr<Store> store_;
};

} // namespace maildir
