#include "entry_id.h"

#include "store_path.h"

#include <algorithm>
#include <cstring>

namespace devkit {

namespace {

constexpr std::uint8_t version = 1;
constexpr std::size_t headerSize = 4 + 16 + 2;

// The identifier's header, with room for `payload` more bytes: a calendar's table makes one
// identifier per appointment at every read.
Bytes header(const Uid& uid, EntryKind kind, std::size_t payload = 0) {
    Bytes id;
    id.reserve(headerSize + payload);
    id.resize(4, 0);
    id.insert(id.end(), uid.begin(), uid.end());
    id.push_back(static_cast<std::uint8_t>(kind));
    id.push_back(version);
    return id;
}

void append(Bytes& id, std::string_view text) {
    id.insert(id.end(), text.begin(), text.end());
}

bool isSafeFolderPath(std::string_view folder) {
    return folder.empty() || isSafeRelativePath(folder);
}

} // namespace

bool isSafeUniqueName(std::string_view unique) {
    return unique.size() <= 200 && unique.find_first_of(":;!") == std::string_view::npos &&
           isSafeRelativePath(unique) && unique.find('/') == std::string_view::npos;
}

std::optional<std::string> messageKey(std::string_view unique) {
    // A name with '%' is escaped too, or "a%3Ab" and the Linux name "a:b" would be one message.
    if (isSafeUniqueName(unique) && unique.find('%') == std::string_view::npos)
        return std::string(unique);
    static constexpr char digits[] = "0123456789ABCDEF";
    static constexpr std::string_view unsafe = "%:;!\\/<>\"|?*";
    std::string key;
    for (char c : unique) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || unsafe.find(c) != std::string_view::npos) {
            key += '%';
            key += digits[b >> 4];
            key += digits[b & 0x0F];
        } else {
            key += c;
        }
    }
    if (!isSafeUniqueName(key))
        return std::nullopt;
    return key;
}

Bytes storeEntryId(const Uid& store) {
    Bytes id = header(kitProviderUid, EntryKind::store);
    id.insert(id.end(), store.begin(), store.end());
    return id;
}

Bytes folderEntryId(const Uid& store, std::string_view folder) {
    Bytes id = header(store, EntryKind::folder);
    append(id, folder);
    return id;
}

Bytes messageEntryId(const Uid& store, std::string_view folder, std::string_view unique) {
    Bytes id = header(store, EntryKind::message, folder.size() + 1 + unique.size());
    append(id, folder);
    id.push_back(0);
    append(id, unique);
    return id;
}

std::optional<EntryId> parseEntryId(const std::uint8_t* data, std::size_t size, const Uid& store) {
    if (!data || size < headerSize || size > maxEntryIdSize)
        return std::nullopt;
    if (data[0] || data[1] || data[2] || data[3] || data[21] != version)
        return std::nullopt;
    const auto kind = static_cast<EntryKind>(data[20]);
    const std::uint8_t* uid = data + 4;
    const std::string_view payload(reinterpret_cast<const char*>(data + headerSize),
                                   size - headerSize);

    switch (kind) {
    case EntryKind::store:
        if (std::memcmp(uid, kitProviderUid.data(), 16) != 0 || payload.size() != 16 ||
            std::memcmp(payload.data(), store.data(), 16) != 0)
            return std::nullopt;
        return EntryId{kind, {}, {}};
    case EntryKind::folder:
        if (std::memcmp(uid, store.data(), 16) != 0 || !isSafeFolderPath(payload))
            return std::nullopt;
        return EntryId{kind, std::string(payload), {}};
    case EntryKind::message: {
        if (std::memcmp(uid, store.data(), 16) != 0)
            return std::nullopt;
        const size_t split = payload.find('\0');
        if (split == std::string_view::npos)
            return std::nullopt;
        const std::string_view folder = payload.substr(0, split);
        const std::string_view unique = payload.substr(split + 1);
        if (!isSafeFolderPath(folder) || !isSafeUniqueName(unique))
            return std::nullopt;
        return EntryId{kind, std::string(folder), std::string(unique)};
    }
    }
    return std::nullopt;
}

} // namespace devkit
