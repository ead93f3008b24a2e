// Validation of store-relative paths carried inside entry identifiers.
#pragma once

#include <cstddef>
#include <string_view>

namespace devkit {

inline constexpr std::size_t kMaxStoreRelativePath = 240;

// True when `path` is a relative path that is safe to append to the store
// root on both Windows and POSIX: '/'-separated, non-empty components, none
// "." or "..", no '\\', ':', NUL or other control characters, no characters
// that Windows forbids in names (< > " | ? *), no component ending in '.' or
// ' ', no reserved device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$,
// CONOUT$, with or without an extension), valid UTF-8, and at most
// kMaxStoreRelativePath bytes. Spaces, '#', '&' and non-ASCII are allowed.
bool isSafeRelativePath(std::string_view path);

// A name that Windows maps to a device in every directory (CON, NUL, COM1, ...), whatever
// follows its first dot and ignoring spaces before that dot.
bool isReservedDeviceName(std::string_view component);

} // namespace devkit
