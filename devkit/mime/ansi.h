// Conversions of UTF-8 text for the Windows side of the provider.
#pragma once

#include <string>
#include <string_view>

namespace devkit {

// Converts UTF-8 to windows-1252 (the "ANSI" code page of Western Windows
// installations). Each character that cp1252 cannot represent, and each
// ill-formed UTF-8 sequence, becomes one `replacement` byte.
std::string utf8ToWindows1252(std::string_view utf8, char replacement = '?');

// Converts UTF-8 to UTF-16 (for the wide Windows APIs). Ill-formed sequences
// become U+FFFD; characters above U+FFFF become surrogate pairs.
std::u16string utf8ToUtf16(std::string_view utf8);

} // namespace devkit
