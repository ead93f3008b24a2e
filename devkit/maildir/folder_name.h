// Folder display names and the directory names that hold them.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace devkit {

// A folder's directory is named after the folder. Bytes that a Windows file name cannot hold,
// and '%' itself, are written as %XX; so is the first byte of a name that would read as a
// Maildir subdirectory (cur, new, tmp), a hidden file (leading '.'), or a reserved device name,
// and the last byte of a name ending in '.' or ' '. Decoding undoes exactly that. A name that
// holds a NUL makes no folder (its encoding is empty), and "%00" is never decoded.
std::string encodeFolderName(std::string_view displayName);
std::string decodeFolderName(std::string_view directoryName);

// The path of the folder of that display name in `parent`, when an entry identifier can carry
// it (isSafeRelativePath: valid UTF-8 and a bounded length, among others); nothing for an empty
// name or one that would make a folder no identifier could name.
std::optional<std::string> childFolderPath(std::string_view parent, std::string_view displayName);

} // namespace devkit
