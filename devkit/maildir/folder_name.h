// Folder display names and the directory names that hold them.
#pragma once
#include <string>
#include <string_view>

namespace devkit {

// A folder's directory is named after the folder. Bytes that a Windows file name cannot hold,
// and '%' itself, are written as %XX; so is the first byte of a name that would read as a
// Maildir subdirectory (cur, new, tmp), a hidden file (leading '.'), or a reserved device name,
// and the last byte of a name ending in '.' or ' '. Decoding undoes exactly that.
std::string encodeFolderName(std::string_view displayName);
std::string decodeFolderName(std::string_view directoryName);

} // namespace devkit
