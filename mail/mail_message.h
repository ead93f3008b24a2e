// A message opened through the default store, its properties, and the mail now shown.
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

// The six properties of the mail shown, in the order they are read.
inline constexpr ULONG shownMailTags[] = {PR_SENDER_NAME, PR_SUBJECT,       PR_BODY,
                                          PR_ENTRYID,     PR_STORE_ENTRYID, PR_PARENT_ENTRYID};

// A text value, or nothing for a value the store could not give (an error value).
const char* textOf(const SPropValue& value, ULONG tag);
// A binary value, or nothing.
const SBinary* binaryOf(const SPropValue& value, ULONG tag);

// Replaces the identifiers of the mail now shown: entry, store, folder, in that order, each
// freed and copied anew. An identifier the mail lacks becomes empty.
void replaceMailNowShown(const SBinary* entryId, const SBinary* storeId, const SBinary* folderId);
