// What the reader's GetItemFromID resolves: the hexadecimal identifier texts a mail client
// takes, checked against the development store, and the message they name, ready to show.
#pragma once
#include "maildir_store.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace devkit {

// Two hexadecimal digits a byte, either case, no separators. Nothing for an empty text, an odd
// length, a character that is not a digit, or more bytes than any identifier of the store.
std::optional<Bytes> parseHexIdentifier(std::string_view text);

// What the reader window shows, all UTF-8.
struct ReaderMessage {
    std::string from;
    std::string to;
    std::string date;
    std::string subject;
    std::string body;
    std::string item; // which message it is (folder and unique name), whatever its content
};

enum class LookupError {
    malformed,    // a text that is no identifier, or one of a folder or store
    notThisStore, // an identifier this store did not hand out (another store's, or damaged)
    notFound,     // the message is gone
};

using LookupResult = std::variant<ReaderMessage, LookupError>;

// Resolves a message identifier text, and the store identifier text when one is given (none
// means the default store), against `store`.
LookupResult lookUpItem(const MaildirStore& store, std::string_view entryText,
                        std::optional<std::string_view> storeText);

} // namespace devkit
