// A message opened through the default store, and its properties.
#pragma once
#include "app/handles.h"

#include <mapidefs.h>
#include <mapitags.h>
#include <cstdint>
#include <span>

// Every mail is opened with MAPI_MODIFY | MAPI_DEFERRED_ERRORS.
inline constexpr ULONG openMailFlags = MAPI_MODIFY | MAPI_DEFERRED_ERRORS;

class OpenedMail {
public:
    // Opens the message; false when the store cannot.
    bool open(IMsgStore* store, ULONG entryIdSize, const BYTE* entryId);
    // Reads the given tags; the result of GetProps.
    HRESULT read(std::span<const ULONG> tags);
    const SPropValue& operator[](size_t i) const { return values_.get()[i]; }
    // Frees the values, then releases the message.
    void close();

private:
    ComPtr<IMessage> message_;
    MapiBuffer<SPropValue> values_;
};

// A text value, or nothing for a value the store could not give (an error value).
const char* textOf(const SPropValue& value, ULONG tag);
// A binary value, or nothing.
const SBinary* binaryOf(const SPropValue& value, ULONG tag);
