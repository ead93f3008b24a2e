#include "charset.h"

#include <array>
#include <cstdint>

#include "utf8.h"

namespace devkit {
namespace {

// 0x80-0x9F of windows-1252.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

// 0xA0-0xFF of ISO-8859-2.
constexpr std::array<char16_t, 96> kLatin2High = {
    0x00A0, 0x0104, 0x02D8, 0x0141, 0x00A4, 0x013D, 0x015A, 0x00A7, 0x00A8, 0x0160, 0x015E, 0x0164,
    0x0179, 0x00AD, 0x017D, 0x017B, 0x00B0, 0x0105, 0x02DB, 0x0142, 0x00B4, 0x013E, 0x015B, 0x02C7,
    0x00B8, 0x0161, 0x015F, 0x0165, 0x017A, 0x02DD, 0x017E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102,
    0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170,
    0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3,
    0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};

char32_t latin9ToUnicode(unsigned char b) {
    switch (b) {
    case 0xA4:
        return 0x20AC;
    case 0xA6:
        return 0x0160;
    case 0xA8:
        return 0x0161;
    case 0xB4:
        return 0x017D;
    case 0xB8:
        return 0x017E;
    case 0xBC:
        return 0x0152;
    case 0xBD:
        return 0x0153;
    case 0xBE:
        return 0x0178;
    default:
        return windows1252ToUnicode(b);
    }
}

std::string decodeSingleByte(std::string_view bytes, char32_t (*toUnicode)(unsigned char)) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            out.push_back(c);
        else
            appendUtf8(out, toUnicode(b));
    }
    return out;
}

char32_t latin2ToUnicode(unsigned char b) {
    return b >= 0xA0 ? kLatin2High[b - 0xA0] : windows1252ToUnicode(b);
}

char32_t unknownToUnicode(unsigned char b) {
    return b < 0x80 ? b : kReplacementChar;
}

} // namespace

char32_t windows1252ToUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0)
        return kWindows1252High[byte - 0x80];
    return byte;
}

Charset lookupCharset(std::string_view label) {
    std::string key;
    for (char c : label) {
        if (c == '-' || c == '_' || c == ' ' || c == '\t' || c == '"')
            continue;
        if (key.size() >= 32)
            return Charset::Unknown;
        key.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    struct Alias {
        std::string_view name;
        Charset charset;
    };
    static constexpr Alias kAliases[] = {
        {"utf8", Charset::Utf8},
        {"xutf8", Charset::Utf8},
        {"", Charset::UsAscii},
        {"usascii", Charset::UsAscii},
        {"ascii", Charset::UsAscii},
        {"us", Charset::UsAscii},
        {"ansix3.41968", Charset::UsAscii},
        {"iso646us", Charset::UsAscii},
        {"iso88591", Charset::Latin1},
        {"iso88591:1987", Charset::Latin1},
        {"latin1", Charset::Latin1},
        {"l1", Charset::Latin1},
        {"cp819", Charset::Latin1},
        {"ibm819", Charset::Latin1},
        {"isoir100", Charset::Latin1},
        {"iso885915", Charset::Latin9},
        {"latin9", Charset::Latin9},
        {"l9", Charset::Latin9},
        {"iso88592", Charset::Latin2},
        {"iso88592:1987", Charset::Latin2},
        {"latin2", Charset::Latin2},
        {"l2", Charset::Latin2},
        {"windows1252", Charset::Windows1252},
        {"cp1252", Charset::Windows1252},
        {"xcp1252", Charset::Windows1252},
    };
    for (const Alias& alias : kAliases) {
        if (alias.name == key)
            return alias.charset;
    }
    return Charset::Unknown;
}

std::string decodeCharset(std::string_view bytes, Charset charset) {
    switch (charset) {
    case Charset::Utf8:
        return sanitizeUtf8(bytes);
    case Charset::UsAscii:
        if (isValidUtf8(bytes))
            return std::string(bytes);
        return decodeSingleByte(bytes, windows1252ToUnicode);
    case Charset::Latin1:
    case Charset::Windows1252:
        return decodeSingleByte(bytes, windows1252ToUnicode);
    case Charset::Latin9:
        return decodeSingleByte(bytes, latin9ToUnicode);
    case Charset::Latin2:
        return decodeSingleByte(bytes, latin2ToUnicode);
    case Charset::Unknown:
        break;
    }
    return decodeSingleByte(bytes, unknownToUnicode);
}

} // namespace devkit
