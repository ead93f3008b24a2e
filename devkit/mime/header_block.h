// Splitting a message or body part into its header fields and its body.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace devkit {

struct HeaderField {
    std::string_view name;
    std::string value; // unfolded, outer whitespace trimmed, raw bytes
};

struct MimeEntity {
    std::vector<HeaderField> headers;
    std::string_view body; // everything after the blank line ending the headers
};

// Fields beyond this count are skipped (memory bound on hostile input).
inline constexpr std::size_t kMaxHeaderFields = 1000;

// Splits at the first empty line; CRLF and LF line ends are both accepted.
// Folded fields are unfolded. A line that is neither a field nor a
// continuation ends the header section and starts the body, so text without
// any header is all body.
MimeEntity splitEntity(std::string_view entity);

// First field with the given name (ASCII case-insensitive), or nullptr.
const HeaderField* findHeader(const std::vector<HeaderField>& headers, std::string_view name);

} // namespace devkit
