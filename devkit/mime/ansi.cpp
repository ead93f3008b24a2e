#include "ansi.h"

#include <cstddef>

#include "charset.h"
#include "utf8.h"

namespace devkit {
namespace {

// The cp1252 byte for `cp`, or -1 when there is none.
int windows1252ByteFor(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    for (int b = 0x80; b < 0xA0; ++b) {
        const char32_t mapped = windows1252ToUnicode(static_cast<unsigned char>(b));
        if (mapped == cp && mapped != kReplacementChar)
            return b;
    }
    return -1;
}

} // namespace

std::string utf8ToWindows1252(std::string_view utf8, char replacement) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        // Decoding errors come back as U+FFFD, which cp1252 cannot show either.
        const int b = windows1252ByteFor(decodeUtf8(utf8, pos));
        out.push_back(b < 0 ? replacement : static_cast<char>(b));
    }
    return out;
}

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t cp = decodeUtf8(utf8, pos);
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

} // namespace devkit
