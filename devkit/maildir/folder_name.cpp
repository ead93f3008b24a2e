#include "folder_name.h"

#include <array>
#include <cctype>

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

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Names Windows reserves for devices, with or without an extension.
bool isReservedName(std::string_view name) {
    const std::string_view stem = name.substr(0, name.find('.'));
    static constexpr std::array<std::string_view, 6> plain = {"CON", "PRN", "AUX", "NUL", "CLOCK$",
                                                              "CONIN$"};
    for (std::string_view reserved : plain)
        if (equalsIgnoringCase(stem, reserved))
            return true;
    if (stem.size() == 4 && (equalsIgnoringCase(stem.substr(0, 3), "COM") ||
                             equalsIgnoringCase(stem.substr(0, 3), "LPT")))
        return stem[3] >= '1' && stem[3] <= '9';
    return false;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::string encodeFolderName(std::string_view displayName) {
    if (displayName.empty())
        return {};
    const bool escapeFirst = displayName[0] == '.' || equalsIgnoringCase(displayName, "cur") ||
                             equalsIgnoringCase(displayName, "new") ||
                             equalsIgnoringCase(displayName, "tmp") || isReservedName(displayName);
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
        if (directoryName[i] == '%' && i + 2 < directoryName.size() &&
            hexValue(directoryName[i + 1]) >= 0 && hexValue(directoryName[i + 2]) >= 0) {
            decoded += char(hexValue(directoryName[i + 1]) * 16 + hexValue(directoryName[i + 2]));
            i += 2;
        } else {
            decoded += directoryName[i];
        }
    }
    return decoded;
}

} // namespace devkit
