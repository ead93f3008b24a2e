// Content-Transfer-Encoding decoders (quoted-printable and base64).
#pragma once

#include <string>
#include <string_view>

namespace devkit {

// Decodes a quoted-printable body. "=XX" (either case) becomes the byte,
// "=" at the end of a line (before optional trailing whitespace) is a soft
// line break, whitespace at the end of a line is dropped, and a "=" that does
// not start a valid escape is kept as it is. Line breaks are left as found.
std::string decodeQuotedPrintable(std::string_view text);

// Decodes the "Q" form of an RFC 2047 encoded word: like quoted-printable but
// "_" stands for a space and there are no line breaks.
std::string decodeQEncoding(std::string_view text);

// Decodes base64, skipping whitespace and any other non-alphabet characters.
// Missing padding is tolerated; "=" ends the current group, so concatenated
// padded chunks decode as well.
std::string decodeBase64(std::string_view text);

// Applies the decoder named by a Content-Transfer-Encoding value. 7bit, 8bit,
// binary and unknown encodings return the body unchanged.
std::string decodeTransferEncoding(std::string_view body, std::string_view encoding);

} // namespace devkit
