// UTF-8 encoding and decoding primitives shared by the converters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace devkit {

inline constexpr char32_t kReplacementChar = 0xFFFD;

// Appends the UTF-8 form of `cp`. Surrogates and values above U+10FFFF are
// written as U+FFFD, so the output is always well-formed.
void appendUtf8(std::string& out, char32_t cp);

// Decodes one code point starting at `pos` and advances `pos` past it.
// Ill-formed input yields U+FFFD and consumes the maximal subpart of the bad
// sequence (at least one byte), so each error produces exactly one U+FFFD.
// Precondition: pos < text.size().
char32_t decodeUtf8(std::string_view text, std::size_t& pos);

bool isValidUtf8(std::string_view text);

// Returns `text` with ill-formed sequences replaced by U+FFFD.
std::string sanitizeUtf8(std::string_view text);

// Largest prefix length <= maxBytes that does not split a UTF-8 sequence.
std::size_t utf8PrefixLength(std::string_view text, std::size_t maxBytes);

} // namespace devkit
