// Property values as the provider keeps them, and their conversion to MAPI property arrays.
#pragma once
#include "mapi.h"

#include <cstdint>
#include <limits>
#include <optional>
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

// Messages give text and binary values larger than this (bytes in the type asked for, without
// a terminator) only through OpenProperty, as real stores do with the body of a long mail:
// GetProps answers them with an error value, MAPI_E_NOT_ENOUGH_MEMORY.
inline constexpr std::size_t largePropertyBytes = 32 * 1024;
inline constexpr std::size_t noSizeLimit = std::numeric_limits<std::size_t>::max();

// A text or binary value's bytes in `type`, without a terminator: 8-bit text in the ANSI code
// page, UTF-16 text, or the binary value itself. Nothing for other values and types.
std::optional<Bytes> valueBytes(const Property& property, ULONG type);

// Fills one SPropValue for the requested tag, or a PT_ERROR value with MAPI_E_NOT_FOUND when
// the properties lack it or cannot give it in the requested type, and MAPI_E_NOT_ENOUGH_MEMORY
// for a text or binary value of more than `largest` bytes. Data goes into blocks chained to
// `base`. Returns false for an error value.
bool fillValue(const Properties& properties, ULONG requestedTag, SPropValue& out, void* base,
               std::size_t largest = noSizeLimit);

// GetProps: the requested tags (all properties for none) in a new MAPI buffer;
// MAPI_W_ERRORS_RETURNED when a value is missing or larger than `largest` (see fillValue).
HRESULT getProps(const Properties& properties, const SPropTagArray* tags, ULONG flags, ULONG* count,
                 SPropValue** values, std::size_t largest = noSizeLimit);

// Texts between the kit's UTF-8 and the caller's code pages.
std::string utf8ToAnsi(const std::string& utf8);
std::wstring utf8ToWide(const std::string& utf8);
std::string ansiToUtf8(const char* ansi);
std::string wideToUtf8(const wchar_t* wide);

FILETIME fileTimeFromUnix(std::int64_t seconds);
std::int64_t unixFromFileTime(const FILETIME& time);

} // namespace maildir
