#include "folder_name.h"

#include "ascii.h"
#include "store_path.h"

namespace devkit {

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

bool mustEscape(unsigned char c) {
    return c < 0x20 || c == 0x7F || c == '%' || c == '<' || c == '>' || c == ':' || c == '"' ||
           c == '/' || c == '\\' || c == '|' || c == '?' || c == '*';
}

std::string escaped(unsigned char c) {
    return {'%', hexDigits[c >> 4], hexDigits[c & 0x0F]};
}

} // namespace

std::string encodeFolderName(std::string_view displayName) {
    // No display name holds a NUL (it travels as a C string), and none is ever decoded.
    if (displayName.empty() || displayName.find('\0') != std::string_view::npos)
        return {};
    const bool escapeFirst = displayName[0] == '.' || equalsIgnoreAsciiCase(displayName, "cur") ||
                             equalsIgnoreAsciiCase(displayName, "new") ||
                             equalsIgnoreAsciiCase(displayName, "tmp") ||
                             isReservedDeviceName(displayName);
    const char last = displayName.back();
    const bool escapeLast = last == '.' || last == ' ';
    std::string encoded;
    for (size_t i = 0; i < displayName.size(); ++i) {
        const auto c = static_cast<unsigned char>(displayName[i]);
        if (mustEscape(c) || (i == 0 && escapeFirst) || (i + 1 == displayName.size() && escapeLast))
            encoded += escaped(c);
        else
            encoded += char(c);
    }
    return encoded;
}

std::string decodeFolderName(std::string_view directoryName) {
    std::string decoded;
    for (size_t i = 0; i < directoryName.size(); ++i) {
        const bool escape = directoryName[i] == '%' && i + 2 < directoryName.size();
        const int high = escape ? hexDigitValue(directoryName[i + 1]) : -1;
        const int low = escape ? hexDigitValue(directoryName[i + 2]) : -1;
        // A NUL, which no display name can hold, would cut the name short wherever it goes as
        // a C string: a directory written elsewhere with "%00" shows it as it stands.
        if (high >= 0 && low >= 0 && high + low > 0) {
            decoded += char(high * 16 + low);
            i += 2;
        } else {
            decoded += directoryName[i];
        }
    }
    return decoded;
}

std::optional<std::string> childFolderPath(std::string_view parent, std::string_view displayName) {
    const std::string encoded = encodeFolderName(displayName);
    if (encoded.empty())
        return std::nullopt;
    std::string path = parent.empty() ? encoded : std::string(parent) + "/" + encoded;
    if (!isSafeRelativePath(path))
        return std::nullopt;
    return path;
}

} // namespace devkit
