#include "item_lookup.h"

#include "ascii.h"
#include "encoded_words.h"
#include "header_block.h"
#include "mime_message.h"

namespace devkit {

std::optional<Bytes> parseHexIdentifier(std::string_view text) {
    if (text.empty() || text.size() % 2 != 0 || text.size() / 2 > maxEntryIdSize)
        return std::nullopt;
    Bytes bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hexDigitValue(text[i]);
        const int low = hexDigitValue(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

namespace {

std::string headerText(const std::vector<HeaderField>& headers, std::string_view name) {
    const HeaderField* field = findHeader(headers, name);
    return field ? decodeHeaderText(field->value) : std::string();
}

} // namespace

LookupResult lookUpItem(const MaildirStore& store, std::string_view entryText,
                        std::optional<std::string_view> storeText) {
    if (storeText) {
        const auto storeId = parseHexIdentifier(*storeText);
        if (!storeId)
            return LookupError::malformed;
        const auto parsed = parseEntryId(storeId->data(), storeId->size(), store.uid());
        if (!parsed)
            return LookupError::notThisStore;
        if (parsed->kind != EntryKind::store)
            return LookupError::malformed;
    }
    const auto entryId = parseHexIdentifier(entryText);
    if (!entryId)
        return LookupError::malformed;
    const auto entry = parseEntryId(entryId->data(), entryId->size(), store.uid());
    if (!entry)
        return LookupError::notThisStore;
    if (entry->kind != EntryKind::message)
        return LookupError::malformed;

    const auto file = store.findMessage(entry->folder, entry->message);
    const std::optional<std::string> content = file ? store.readInside(file->file) : std::nullopt;
    if (!content)
        return LookupError::notFound;
    const ParsedMessage parsed = parseMessage(*content);
    const MimeEntity entity = splitEntity(*content);
    return ReaderMessage{headerText(entity.headers, "From"),
                         headerText(entity.headers, "To"),
                         headerText(entity.headers, "Date"),
                         parsed.subject,
                         parsed.body,
                         entry->folder + '/' + entry->message};
}

} // namespace devkit
