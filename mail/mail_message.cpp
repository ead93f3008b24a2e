#include "mail_message.h"

#include <vector>

bool OpenedMail::open(IMsgStore* store, ULONG entryIdSize, const BYTE* entryId) {
    ULONG type = 0;
    return store &&
           SUCCEEDED(store->OpenEntry(entryIdSize,
                                      reinterpret_cast<ENTRYID*>(const_cast<BYTE*>(entryId)),
                                      nullptr, openMailFlags, &type, message_.putAs<IUnknown>())) &&
           message_;
}

HRESULT OpenedMail::read(std::span<const ULONG> tags) {
    std::vector<ULONG> array{ULONG(tags.size())};
    array.insert(array.end(), tags.begin(), tags.end());
    ULONG count = 0;
    SPropValue* values = nullptr;
    const HRESULT result =
        message_->GetProps(reinterpret_cast<SPropTagArray*>(array.data()), 0, &count, &values);
    values_.reset(values);
    // A store that answers with fewer values than asked counts as a failure.
    return SUCCEEDED(result) && (!values || count != tags.size()) ? MAPI_E_CALL_FAILED : result;
}

void OpenedMail::close() {
    values_.reset();
    message_.reset();
}

const char* textOf(const SPropValue& value, ULONG tag) {
    return value.ulPropTag == tag ? value.Value.lpszA : nullptr;
}

const SBinary* binaryOf(const SPropValue& value, ULONG tag) {
    return value.ulPropTag == tag ? &value.Value.bin : nullptr;
}
