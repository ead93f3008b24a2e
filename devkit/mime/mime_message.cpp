#include "mime_message.h"

#include <algorithm>
#include <optional>

#include "address.h"
#include "charset.h"
#include "date_time.h"
#include "encoded_words.h"
#include "header_block.h"
#include "header_params.h"
#include "html_text.h"
#include "transfer_encoding.h"
#include "utf8.h"

namespace devkit {
namespace {

// RFC 2046 allows 70; be lenient but keep line comparisons cheap.
constexpr std::size_t kMaxBoundaryLength = 256;

struct TextPart {
    std::string_view content;
    std::string transferEncoding;
    std::string charset;
    bool html = false;
};

struct BodySearch {
    std::optional<TextPart> plain;
    std::optional<TextPart> html;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Returns 1 for "--boundary", 2 for "--boundary--", 0 for any other line.
int delimiterKind(std::string_view line, std::string_view boundary) {
    if (line.size() < boundary.size() + 2 || line[0] != '-' || line[1] != '-' ||
        line.substr(2, boundary.size()) != boundary)
        return 0;
    std::string_view rest = line.substr(boundary.size() + 2);
    int kind = 1;
    if (rest.substr(0, 2) == "--") {
        kind = 2;
        rest.remove_prefix(2);
    }
    for (char c : rest) {
        if (!isBlank(c) && c != '\r')
            return 0;
    }
    return kind;
}

// Calls `visit` with each body part; stops early when it returns false.
template <typename Visit>
void forEachPart(std::string_view body, std::string_view boundary, Visit visit) {
    std::size_t partStart = std::string_view::npos; // npos while in the preamble
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t eol = body.find('\n', pos);
        const std::size_t next = eol == std::string_view::npos ? body.size() : eol + 1;
        if (eol == std::string_view::npos)
            eol = body.size();
        const int kind = delimiterKind(body.substr(pos, eol - pos), boundary);
        if (kind != 0) {
            if (partStart != std::string_view::npos) {
                // The line break before a delimiter belongs to the delimiter.
                std::size_t partEnd = pos;
                if (partEnd > partStart && body[partEnd - 1] == '\n')
                    --partEnd;
                if (partEnd > partStart && body[partEnd - 1] == '\r')
                    --partEnd;
                if (!visit(body.substr(partStart, partEnd - partStart)))
                    return;
            }
            if (kind == 2)
                return; // the epilogue is not a part
            partStart = next;
        }
        pos = next;
    }
    if (partStart != std::string_view::npos && partStart < body.size())
        visit(body.substr(partStart));
}

void findBody(const MimeEntity& entity, int depth, bool inDigest, BodySearch& search) {
    if (const HeaderField* disposition = findHeader(entity.headers, "Content-Disposition")) {
        if (parseParameterizedValue(disposition->value).value == "attachment")
            return;
    }

    ParameterizedValue type;
    if (const HeaderField* field = findHeader(entity.headers, "Content-Type"))
        type = parseParameterizedValue(field->value);
    const std::size_t slash = type.value.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == type.value.size()) {
        // Absent or unreadable: the defaults of RFC 2045 and RFC 2046.
        type.value = inDigest ? "message/rfc822" : "text/plain";
    }

    if (type.value.compare(0, 10, "multipart/") == 0) {
        const std::string boundary = type.param("boundary");
        if (!boundary.empty() && boundary.size() <= kMaxBoundaryLength) {
            if (depth >= kMaxMultipartDepth)
                return;
            const bool digest = type.value == "multipart/digest";
            forEachPart(entity.body, boundary, [&](std::string_view part) {
                findBody(splitEntity(part), depth + 1, digest, search);
                return !search.plain;
            });
            return;
        }
        // Without a usable boundary the parts cannot be found; show the raw text.
        type.value = "text/plain";
    }

    const bool isPlain = type.value == "text/plain";
    const bool isHtml = type.value == "text/html";
    if ((isPlain && search.plain) || (isHtml && search.html) || (!isPlain && !isHtml))
        return;
    TextPart part;
    part.content = entity.body;
    if (const HeaderField* field = findHeader(entity.headers, "Content-Transfer-Encoding"))
        part.transferEncoding = field->value;
    part.charset = type.param("charset");
    part.html = isHtml;
    (isPlain ? search.plain : search.html) = std::move(part);
}

// CRLF line breaks (from CRLF, LF or lone CR), no NUL characters, capped.
std::string toDisplayText(std::string_view text, std::size_t maxBytes) {
    std::string out;
    out.reserve(std::min(text.size() + text.size() / 16, maxBytes + 4));
    for (std::size_t i = 0; i < text.size() && out.size() < maxBytes + 4; ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += "\r\n";
        } else if (c == '\0') {
            out += "\xEF\xBF\xBD";
        } else {
            out.push_back(c);
        }
    }
    if (out.size() > maxBytes) {
        out.resize(utf8PrefixLength(out, maxBytes));
        if (!out.empty() && out.back() == '\r')
            out.pop_back();
    }
    return out;
}

std::string bodyText(const TextPart& part) {
    std::string bytes = decodeTransferEncoding(part.content, part.transferEncoding);
    if (!part.html && bytes.size() > 2 * kMaxBodyBytes)
        bytes.resize(2 * kMaxBodyBytes); // the rest could never be shown
    std::string text = decodeCharset(bytes, part.charset);
    if (part.html)
        text = htmlToText(text);
    return toDisplayText(text, kMaxBodyBytes);
}

// Control characters become spaces, whitespace runs collapse, ends trimmed.
std::string toSingleLine(std::string_view text) {
    std::string out;
    bool space = false;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= ' ' || b == 0x7F) {
            space = !out.empty();
            continue;
        }
        if (space)
            out.push_back(' ');
        space = false;
        out.push_back(c);
        if (out.size() > kMaxHeaderTextBytes)
            break;
    }
    out.resize(utf8PrefixLength(out, kMaxHeaderTextBytes));
    return out;
}

std::string messageIdFrom(std::string_view value) {
    const std::size_t open = value.find('<');
    if (open != std::string_view::npos) {
        const std::size_t close = value.find('>', open);
        if (close != std::string_view::npos)
            value = value.substr(open, close - open + 1);
    }
    return toSingleLine(decodeCharset(value, Charset::UsAscii));
}

} // namespace

ParsedMessage parseMessage(std::string_view rfc5322) {
    // An mbox "From " separator line is not part of the message.
    if (rfc5322.substr(0, 5) == "From ") {
        const std::size_t eol = rfc5322.find('\n');
        rfc5322 = eol == std::string_view::npos ? std::string_view{} : rfc5322.substr(eol + 1);
    }

    ParsedMessage message;
    const MimeEntity top = splitEntity(rfc5322);
    if (const HeaderField* from = findHeader(top.headers, "From")) {
        const Mailbox mailbox = parseFirstMailbox(from->value);
        message.senderEmail = toSingleLine(decodeCharset(mailbox.address, Charset::UsAscii));
        message.senderName = toSingleLine(mailbox.displayName);
        if (message.senderName.empty())
            message.senderName = message.senderEmail;
    }
    if (const HeaderField* subject = findHeader(top.headers, "Subject"))
        message.subject = toSingleLine(decodeHeaderText(subject->value));
    if (const HeaderField* date = findHeader(top.headers, "Date"))
        message.deliveryTime = parseDateTime(date->value);
    if (const HeaderField* id = findHeader(top.headers, "Message-ID"))
        message.messageId = messageIdFrom(id->value);

    BodySearch search;
    findBody(top, 0, false, search);
    if (search.plain)
        message.body = bodyText(*search.plain);
    else if (search.html)
        message.body = bodyText(*search.html);
    return message;
}

} // namespace devkit
