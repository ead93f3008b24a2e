// Decoding of header text that may contain RFC 2047 encoded words.
#pragma once

#include <string>
#include <string_view>

namespace devkit {

// Turns raw header text into UTF-8.
//  - "=?charset?B?...?=" and "=?charset?Q?...?=" (either case) are decoded,
//    wherever they stand, including inside quoted strings, as mailers do.
//  - Whitespace between two adjacent encoded words is dropped.
//  - Adjacent encoded words of the same charset are joined before the charset
//    is decoded, so a multi-byte character split across two words survives.
//  - Unencoded 8-bit text is taken as UTF-8 when valid, else windows-1252.
//  - Malformed encoded words are kept literally.
std::string decodeHeaderText(std::string_view raw);

} // namespace devkit
