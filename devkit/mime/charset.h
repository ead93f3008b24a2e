// Conversion of text in the charsets seen in mail to UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace devkit {

enum class Charset {
    Utf8,
    UsAscii, // also the default for unlabelled text
    Latin1,
    Latin9,
    Latin2,
    Windows1252,
    Unknown,
};

// Maps a MIME charset label ("UTF-8", "latin1", "cp1252", ...) to a Charset.
Charset lookupCharset(std::string_view label);

// Converts `bytes` to UTF-8. The result is always well-formed UTF-8:
//  - Utf8: ill-formed sequences become U+FFFD.
//  - UsAscii: 8-bit bytes are a labelling mistake; the text is taken as UTF-8
//    when it is valid UTF-8 and as windows-1252 otherwise.
//  - Latin1, Latin9, Latin2: bytes 0x80-0x9F are C1 control codes in these
//    charsets, which never occur in real text; when present, the text was
//    really written in windows-1252 (a common mislabelling), so they are
//    decoded as windows-1252. ISO-8859-1 is thus decoded as windows-1252.
//  - Unknown: ASCII bytes kept, every other byte becomes U+FFFD.
std::string decodeCharset(std::string_view bytes, Charset charset);

inline std::string decodeCharset(std::string_view bytes, std::string_view label) {
    return decodeCharset(bytes, lookupCharset(label));
}

// The Unicode value of a windows-1252 byte; U+FFFD for the five unassigned
// bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D.
char32_t windows1252ToUnicode(unsigned char byte);

} // namespace devkit
