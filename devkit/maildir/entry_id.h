// Entry identifiers of the Maildir store, and their validation.
//
// Layout: 4 flag bytes (0), a 16-byte UID, a kind byte, a version byte, then the payload.
//   store   UID = the kit's provider UID, payload = the store's own UID (16 bytes)
//   folder  UID = the store's UID, payload = the folder's directory path ('/'-separated, empty
//           for the root)
//   message UID = the store's UID, payload = folder path, a 0 byte, the Maildir unique name
// A message's identifier names its unique part only, so it survives the move from new/ to cur/
// and any change of its flags.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devkit {

using Uid = std::array<std::uint8_t, 16>;
using Bytes = std::vector<std::uint8_t>;

// Identifies the store identifiers that this kit hands out.
inline constexpr Uid kitProviderUid = {0x6D, 0x61, 0x69, 0x6C, 0x64, 0x69, 0x72, 0x2D,
                                       0x6D, 0x61, 0x70, 0x69, 0x2D, 0x6B, 0x69, 0x74};

inline constexpr std::size_t maxEntryIdSize = 1024;

enum class EntryKind : std::uint8_t { store = 'S', folder = 'F', message = 'M' };

struct EntryId {
    EntryKind kind;
    std::string folder;  // directory path inside the store
    std::string message; // unique name, for messages
};

Bytes storeEntryId(const Uid& store);
Bytes folderEntryId(const Uid& store, std::string_view folder);
Bytes messageEntryId(const Uid& store, std::string_view folder, std::string_view unique);

// The identifier's meaning when it is well formed, belongs to this store and names nothing
// outside it; nothing otherwise.
std::optional<EntryId> parseEntryId(const std::uint8_t* data, std::size_t size, const Uid& store);

bool isSafeUniqueName(std::string_view unique);
// The unique name a message is known by: its file's unique part, or, when that holds characters
// an identifier cannot (a Maildir written on Linux may use ':', '*', '?', ...) or '%', the part
// with those and '%' written %XX, so that a key with '%' is never a file's own name and no two
// names share a key. Nothing when even that is not a safe name.
std::optional<std::string> messageKey(std::string_view unique);

} // namespace devkit
