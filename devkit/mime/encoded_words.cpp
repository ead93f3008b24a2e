#include "encoded_words.h"

#include <cstddef>

#include "ascii.h"
#include "charset.h"
#include "transfer_encoding.h"

namespace devkit {
namespace {

constexpr std::size_t kMaxCharsetLabel = 64;

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct EncodedWord {
    std::string_view charset; // without any "*language" suffix
    std::string bytes;        // decoded, still in `charset`
    std::size_t end = 0;      // position just past "?="
};

// Parses an encoded word starting at `pos` (which holds "=?").
bool parseEncodedWord(std::string_view text, std::size_t pos, EncodedWord& word) {
    std::size_t i = pos + 2;
    const std::size_t charsetStart = i;
    while (i < text.size() && text[i] != '?' && !isWhitespace(text[i]) &&
           i - charsetStart < kMaxCharsetLabel)
        ++i;
    if (i == charsetStart || i + 2 >= text.size() || text[i] != '?' || text[i + 2] != '?')
        return false;
    std::string_view charset = text.substr(charsetStart, i - charsetStart);
    const char encoding = text[i + 1];
    if (encoding != 'B' && encoding != 'b' && encoding != 'Q' && encoding != 'q')
        return false;
    i += 3;
    const std::size_t payloadStart = i;
    while (i < text.size() && text[i] != '?' && !isWhitespace(text[i]))
        ++i;
    if (i + 1 >= text.size() || text[i] != '?' || text[i + 1] != '=')
        return false;
    const std::string_view payload = text.substr(payloadStart, i - payloadStart);
    if (const std::size_t star = charset.find('*'); star != std::string_view::npos)
        charset = charset.substr(0, star);
    word.charset = charset;
    word.bytes =
        (encoding == 'B' || encoding == 'b') ? decodeBase64(payload) : decodeQEncoding(payload);
    word.end = i + 2;
    return true;
}

bool sameCharset(std::string_view a, std::string_view b) {
    const Charset charset = lookupCharset(a);
    if (charset != lookupCharset(b))
        return false;
    return charset != Charset::Unknown || equalsIgnoreAsciiCase(a, b);
}

} // namespace

std::string decodeHeaderText(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());

    // Bytes of the current run of adjacent encoded words sharing a charset.
    std::string pendingBytes;
    std::string_view pendingCharset;
    bool havePending = false;
    const auto flushEncoded = [&] {
        if (havePending)
            out += decodeCharset(pendingBytes, pendingCharset);
        pendingBytes.clear();
        havePending = false;
    };

    std::size_t literalStart = 0; // start of unencoded text not yet emitted
    bool afterEncodedWord = false;
    std::size_t pos = 0;
    while (pos < raw.size()) {
        EncodedWord word;
        if (raw[pos] == '=' && pos + 1 < raw.size() && raw[pos + 1] == '?' &&
            parseEncodedWord(raw, pos, word)) {
            const std::string_view gap = raw.substr(literalStart, pos - literalStart);
            bool gapIsBlank = true;
            for (char c : gap)
                gapIsBlank = gapIsBlank && isWhitespace(c);
            if (!(afterEncodedWord && gapIsBlank)) {
                flushEncoded();
                out += decodeCharset(gap, Charset::UsAscii);
            } else if (havePending && !sameCharset(pendingCharset, word.charset)) {
                flushEncoded();
            }
            if (!havePending) {
                pendingCharset = word.charset;
                havePending = true;
            }
            pendingBytes += word.bytes;
            afterEncodedWord = true;
            pos = word.end;
            literalStart = pos;
            continue;
        }
        if (!isWhitespace(raw[pos]))
            afterEncodedWord = false;
        ++pos;
    }
    flushEncoded();
    out += decodeCharset(raw.substr(literalStart), Charset::UsAscii);
    return out;
}

} // namespace devkit
