// Extraction of what a new-mail notification shows from an RFC 5322 message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace devkit {

struct ParsedMessage {
    std::string senderName;  // display name of From, or the address without one
    std::string senderEmail; // bare address of From ("user@example.com")
    std::string subject;
    std::string body;                         // plain text, CRLF line breaks
    std::optional<std::int64_t> deliveryTime; // Date header, seconds since 1970 UTC
    std::string messageId;                    // "<id@host>" as in the Message-ID field
};

// Limits that bound memory and work on hostile input.
inline constexpr std::size_t kMaxBodyBytes = 1024 * 1024;
inline constexpr std::size_t kMaxHeaderTextBytes = 4096;
inline constexpr int kMaxMultipartDepth = 32;

// Parses a message; never fails. All texts are valid UTF-8. Single-line
// fields have control characters replaced and whitespace runs collapsed.
//
// The body is the first text/plain part, in document order, that is not an
// attachment; failing that, the first such text/html part converted to
// text; failing that, empty. Multipart nesting deeper than
// kMaxMultipartDepth is ignored and texts are truncated to the limits above.
ParsedMessage parseMessage(std::string_view rfc5322);

} // namespace devkit
