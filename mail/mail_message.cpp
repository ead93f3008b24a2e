#include "mail_message.h"

#include "app/failure_trace.h"

#include <cstring>
#include <vector>

bool OpenedMail::open(IMsgStore* store, ULONG entryIdSize, const BYTE* entryId) {
    ULONG type = 0;
    if (!store) {
        traceFailure("IMsgStore::OpenEntry", "no store");
        return false;
    }
    return !failed("IMsgStore::OpenEntry",
                   store->OpenEntry(entryIdSize,
                                    reinterpret_cast<ENTRYID*>(const_cast<BYTE*>(entryId)), nullptr,
                                    openMailFlags, &type, message_.putAs<IUnknown>())) &&
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
    if (failed("IMessage::GetProps", result))
        return result;
    // A store that answers with fewer values than asked counts as a failure.
    if (!values || count != tags.size()) {
        traceFailure("IMessage::GetProps", "fewer values than asked");
        return MAPI_E_CALL_FAILED;
    }
    return result;
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

bool needsStream(const SPropValue& value, ULONG tag) {
    return value.ulPropTag == PROP_TAG(PT_ERROR, PROP_ID(tag)) &&
           value.Value.err == MAPI_E_NOT_ENOUGH_MEMORY;
}

std::string readTextStream(IMAPIProp* object, ULONG tag, size_t capacity) {
    ComPtr<IStream> stream;
    if (!object || capacity == 0 ||
        failed("IMAPIProp::OpenProperty",
               object->OpenProperty(tag, &IID_IStream, STGM_READ, 0, stream.putAs<IUnknown>())))
        return {};
    std::string text(capacity - 1, '\0');
    size_t filled = 0;
    while (filled < text.size()) {
        ULONG read = 0;
        const HRESULT result =
            stream->Read(text.data() + filled, ULONG(text.size() - filled), &read);
        if (failed("IStream::Read", result) || read == 0)
            break; // what was read so far is shown
        filled += read;
    }
    text.resize(filled);
    text.resize(std::strlen(text.c_str()));
    return text;
}
