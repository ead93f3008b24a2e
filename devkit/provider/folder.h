// IMAPIFolder over one directory of the store.
#pragma once
#include "defaults.h"
#include "store.h"

#include <memory>
#include <string>

namespace maildir {

class Folder final : public FolderDefaults {
public:
    Folder(std::shared_ptr<Store> store, std::string path)
        : store_(std::move(store)), path_(std::move(path)) {}

    STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                          LPSPropValue* values) override;
    STDMETHODIMP SaveChanges(ULONG flags) override;
    STDMETHODIMP GetHierarchyTable(ULONG flags, LPMAPITABLE* table) override;
    STDMETHODIMP GetContentsTable(ULONG flags, LPMAPITABLE* table) override;
    STDMETHODIMP OpenEntry(ULONG size, LPENTRYID id, LPCIID iid, ULONG flags, ULONG* type,
                           LPUNKNOWN* object) override;
    STDMETHODIMP CreateFolder(ULONG type, LPTSTR name, LPTSTR comment, LPCIID iid, ULONG flags,
                              LPMAPIFOLDER* folder) override;
    STDMETHODIMP DeleteMessages(LPENTRYLIST messages, ULONG uiParam, LPMAPIPROGRESS progress,
                                ULONG flags) override;
    STDMETHODIMP GetNamesFromIDs(LPSPropTagArray* tags, LPGUID set, ULONG flags, ULONG* count,
                                 LPMAPINAMEID** names) override;
    STDMETHODIMP GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                                 LPSPropTagArray* tags) override;

private:
    bool answers(REFIID iid) const override {
        return oneOf(iid, {&IID_IMAPIFolder, &IID_IMAPIContainer, &IID_IMAPIProp});
    }

    IMAPITable* calendarTable(); // under the store's lock

    std::shared_ptr<Store> store_;
    std::string path_;
};

} // namespace maildir
