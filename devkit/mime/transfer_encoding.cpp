#include "transfer_encoding.h"

#include <cstdint>

#include "ascii.h"

namespace devkit {
namespace {

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Decodes one quoted-printable line (without its line break). Returns false
// when the line ends in a soft line break.
bool decodeQpLine(std::string_view line, std::string& out) {
    std::size_t end = line.size();
    while (end > 0 && isBlank(line[end - 1]))
        --end;
    line = line.substr(0, end);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '=') {
            out.push_back(line[i]);
            continue;
        }
        if (i + 1 == line.size())
            return false;
        if (i + 2 < line.size() && hexDigitValue(line[i + 1]) >= 0 &&
            hexDigitValue(line[i + 2]) >= 0) {
            out.push_back(
                static_cast<char>(hexDigitValue(line[i + 1]) * 16 + hexDigitValue(line[i + 2])));
            i += 2;
        } else {
            out.push_back('=');
        }
    }
    return true;
}

} // namespace

std::string decodeQuotedPrintable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        const bool hasBreak = eol != std::string_view::npos;
        if (!hasBreak)
            eol = text.size();
        std::size_t contentEnd = eol;
        if (hasBreak && contentEnd > pos && text[contentEnd - 1] == '\r')
            --contentEnd;
        const bool hard = decodeQpLine(text.substr(pos, contentEnd - pos), out);
        if (hard && hasBreak)
            out.append(text.substr(contentEnd, eol + 1 - contentEnd));
        pos = hasBreak ? eol + 1 : eol;
    }
    return out;
}

std::string decodeQEncoding(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out.push_back(' ');
        } else if (c == '=' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 &&
                   hexDigitValue(text[i + 2]) >= 0) {
            out.push_back(
                static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string decodeBase64(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t bits = 0;
    int count = 0;
    const auto flush = [&] {
        // 2 symbols carry one byte, 3 carry two; a lone symbol carries none.
        if (count >= 2)
            out.push_back(static_cast<char>((bits >> (count * 6 - 8)) & 0xFF));
        if (count == 3)
            out.push_back(static_cast<char>((bits >> 2) & 0xFF));
        bits = 0;
        count = 0;
    };
    for (char c : text) {
        if (c == '=') {
            flush();
            continue;
        }
        const int v = base64Value(c);
        if (v < 0)
            continue;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        if (++count == 4) {
            out.push_back(static_cast<char>((bits >> 16) & 0xFF));
            out.push_back(static_cast<char>((bits >> 8) & 0xFF));
            out.push_back(static_cast<char>(bits & 0xFF));
            bits = 0;
            count = 0;
        }
    }
    flush();
    return out;
}

std::string decodeTransferEncoding(std::string_view body, std::string_view encoding) {
    while (!encoding.empty() && isBlank(encoding.front()))
        encoding.remove_prefix(1);
    while (!encoding.empty() && isBlank(encoding.back()))
        encoding.remove_suffix(1);
    if (equalsIgnoreAsciiCase(encoding, "quoted-printable"))
        return decodeQuotedPrintable(body);
    if (equalsIgnoreAsciiCase(encoding, "base64"))
        return decodeBase64(body);
    return std::string(body);
}

} // namespace devkit
