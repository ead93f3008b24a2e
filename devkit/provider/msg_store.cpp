#include "msg_store.h"

#include "allocator.h"
#include "faults.h"
#include "notifier.h"

#include <cstring>

namespace maildir {

STDMETHODIMP MsgStore::GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                LPSPropValue* values) {
    MAILDIR_FAULT_POINT("IMsgStore::GetProps");
    std::lock_guard guard(store_->lock);
    return getProps(store_->storeProperties(), tags, flags, count, values);
}

STDMETHODIMP MsgStore::SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) {
    MAILDIR_FAULT_POINT("IMsgStore::SetProps");
    if (problems)
        *problems = nullptr;
    if (!values)
        return MAPI_E_INVALID_PARAMETER;
    std::vector<SPropProblem> failed;
    {
        std::lock_guard guard(store_->lock);
        for (ULONG i = 0; i < count; ++i)
            if (const HRESULT result = store_->setStoreProperty(values[i]); FAILED(result))
                failed.push_back({i, values[i].ulPropTag, SCODE(result)});
    }
    if (failed.empty() || !problems)
        return S_OK;
    void* buffer = nullptr;
    if (FAILED(allocateBuffer(CbNewSPropProblemArray(failed.size()), &buffer)))
        return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* array = static_cast<SPropProblemArray*>(buffer);
    array->cProblem = ULONG(failed.size());
    std::memcpy(array->aProblem, failed.data(), failed.size() * sizeof(SPropProblem));
    *problems = array;
    return S_OK;
}

STDMETHODIMP MsgStore::SaveChanges(ULONG) {
    return S_OK; // properties are written when they are set
}

STDMETHODIMP MsgStore::OpenEntry(ULONG size, LPENTRYID id, LPCIID, ULONG flags, ULONG* type,
                                 LPUNKNOWN* object) {
    MAILDIR_FAULT_POINT("IMsgStore::OpenEntry");
    return openEntry(store_, size, id, flags, type, object);
}

STDMETHODIMP MsgStore::GetReceiveFolder(LPTSTR messageClass, ULONG flags, ULONG* size,
                                        LPENTRYID* id, LPTSTR* explicitClass) {
    MAILDIR_FAULT_POINT("IMsgStore::GetReceiveFolder");
    if (!size || !id)
        return MAPI_E_INVALID_PARAMETER;
    if (explicitClass)
        *explicitClass = nullptr;
    const std::string folder = store_->files().receiveFolder();
    if (!store_->files().isMaildir(folder))
        return MAPI_E_NOT_FOUND;
    if (const HRESULT result = copyToBuffer(store_->folderId(folder), size, id); FAILED(result))
        return result;
    // Every class is received in the one receive folder; the explicit class is "IPM" (or the
    // empty default class when none was asked for).
    if (explicitClass) {
        const bool wide = flags & MAPI_UNICODE;
        const bool asked = messageClass && (wide ? *reinterpret_cast<wchar_t*>(messageClass) != 0
                                                 : *messageClass != 0);
        const std::wstring text = asked ? L"IPM" : L"";
        const size_t bytes = wide ? (text.size() + 1) * sizeof(wchar_t) : text.size() + 1;
        void* buffer = nullptr;
        if (FAILED(allocateBuffer(ULONG(bytes), &buffer))) {
            freeBuffer(*id);
            *id = nullptr;
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        if (wide)
            std::memcpy(buffer, text.c_str(), bytes);
        else
            std::memcpy(buffer, asked ? "IPM" : "", bytes);
        *explicitClass = static_cast<LPTSTR>(buffer);
    }
    return S_OK;
}

STDMETHODIMP MsgStore::Advise(ULONG size, LPENTRYID id, ULONG mask, LPMAPIADVISESINK sink,
                              ULONG* connection) {
    MAILDIR_FAULT_POINT("IMsgStore::Advise");
    if (!sink || !connection)
        return MAPI_E_INVALID_PARAMETER;
    std::optional<std::string> folder; // none: the whole store
    if (size || id) {
        const auto entry = store_->parse(size, id);
        if (!entry)
            return MAPI_E_INVALID_ENTRYID;
        if (entry->kind != devkit::EntryKind::store)
            folder = entry->folder;
    }
    // Watching opens the folder and checks where it leads; only a failure asks why.
    const HRESULT result = Notifier::instance().advise(store_, folder, mask, sink, connection);
    if (result == MAPI_E_CALL_FAILED && folder && !store_->files().folderExists(*folder))
        return MAPI_E_NOT_FOUND;
    return result;
}

STDMETHODIMP MsgStore::Unadvise(ULONG connection) {
    return Notifier::instance().unadvise(connection);
}

STDMETHODIMP MsgStore::CompareEntryIDs(ULONG size1, LPENTRYID id1, ULONG size2, LPENTRYID id2,
                                       ULONG, ULONG* result) {
    if (!result)
        return MAPI_E_INVALID_PARAMETER;
    const auto first = store_->parse(size1, id1);
    const auto second = store_->parse(size2, id2);
    if (!first || !second)
        return MAPI_E_INVALID_ENTRYID;
    *result = first->kind == second->kind && first->folder == second->folder &&
              first->message == second->message;
    return S_OK;
}

STDMETHODIMP MsgStore::StoreLogoff(ULONG* flags) {
    if (flags)
        *flags = 0;
    return S_OK;
}

} // namespace maildir
