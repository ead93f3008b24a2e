// A message opened through the default store, and its properties.
#pragma once
#include "app/handles.h"

#include <mapidefs.h>
#include <mapitags.h>
#include <cstdint>
#include <span>
#include <string>

// Every mail is opened with MAPI_MODIFY | MAPI_DEFERRED_ERRORS.
inline constexpr ULONG openMailFlags = MAPI_MODIFY | MAPI_DEFERRED_ERRORS;

// The start of a text property read through a stream (OpenProperty with IID_IStream): at most
// capacity - 1 characters, up to its first zero byte. Empty when the stream cannot be opened.
std::string readTextStream(IMAPIProp* object, ULONG tag, size_t capacity);

// Whether GetProps gave the value as an error that asks for a stream instead: stores answer so
// for text too large for one call, such as the body of a long mail.
bool needsStream(const SPropValue& value, ULONG tag);

class OpenedMail {
public:
    // Opens the message; false when the store cannot.
    bool open(IMsgStore* store, ULONG entryIdSize, const BYTE* entryId);
    // Reads the given tags; the result of GetProps.
    HRESULT read(std::span<const ULONG> tags);
    const SPropValue& operator[](size_t i) const { return values_.get()[i]; }
    // The start of a text property read as a stream; see readTextStream.
    std::string readText(ULONG tag, size_t capacity) const {
        return readTextStream(message_.get(), tag, capacity);
    }
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
