// Property values as the provider keeps them, and their conversion to MAPI property arrays.
#pragma once
#include "mapi.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace maildir {

using Bytes = std::vector<std::uint8_t>;

// One property: texts are kept in UTF-8 and handed out as 8-bit (the ANSI code page, with '?'
// for what it cannot show) or as UTF-16, whichever type the caller asks for.
struct Property {
    ULONG tag; // the tag's type is the natural one: PT_LONG, PT_BOOLEAN, PT_UNICODE, ...
    std::variant<LONG, bool, std::string, Bytes, FILETIME> value;
};

using Properties = std::vector<Property>;

Property longProperty(ULONG tag, LONG value);
Property boolProperty(ULONG tag, bool value);
Property textProperty(ULONG tag, std::string utf8);
Property binaryProperty(ULONG tag, Bytes value);
Property timeProperty(ULONG tag, FILETIME value);

const Property* find(const Properties& properties, ULONG tag);

// Fills one SPropValue for the requested tag, or a PT_ERROR value with MAPI_E_NOT_FOUND when
// the properties lack it or cannot give it in the requested type. Data goes into blocks
// chained to `base`. Returns false for an error value.
bool fillValue(const Properties& properties, ULONG requestedTag, SPropValue& out, void* base);

// GetProps: the requested tags (all properties for none) in a new MAPI buffer;
// MAPI_W_ERRORS_RETURNED when a value is missing.
HRESULT getProps(const Properties& properties, const SPropTagArray* tags, ULONG flags, ULONG* count,
                 SPropValue** values);

// Texts between the kit's UTF-8 and the caller's code pages.
std::string utf8ToAnsi(const std::string& utf8);
std::wstring utf8ToWide(const std::string& utf8);
std::string ansiToUtf8(const char* ansi);
std::string wideToUtf8(const wchar_t* wide);

FILETIME fileTimeFromUnix(std::int64_t seconds);
std::int64_t unixFromFileTime(const FILETIME& time);

} // namespace maildir
