#include "html_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "ascii.h"
#include "charset.h"
#include "utf8.h"

namespace devkit {
namespace {

constexpr std::size_t kMaxTagName = 16;

bool isHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Collects text, deferring spaces and line breaks until the next visible
// character so that whitespace never piles up.
class TextBuilder {
public:
    void space() { pendingSpace_ = true; }
    void breakLines(int count) { pendingBreaks_ = std::max(pendingBreaks_, count); }
    void addBreak() { pendingBreaks_ = std::min(pendingBreaks_ + 1, 2); }

    void put(std::string_view visible) {
        if (!out_.empty()) {
            if (pendingBreaks_ > 0)
                out_.append(static_cast<std::size_t>(pendingBreaks_), '\n');
            else if (pendingSpace_)
                out_.push_back(' ');
        }
        pendingBreaks_ = 0;
        pendingSpace_ = false;
        out_.append(visible);
    }

    void put(char32_t cp) {
        std::string utf8;
        appendUtf8(utf8, cp);
        put(utf8);
    }

    std::string take() { return std::move(out_); }

private:
    std::string out_;
    int pendingBreaks_ = 0;
    bool pendingSpace_ = false;
};

struct NamedEntity {
    std::string_view name;
    char32_t cp;
};

constexpr NamedEntity kEntities[] = {
    {"amp", '&'},       {"lt", '<'},       {"gt", '>'},       {"quot", '"'},     {"apos", '\''},
    {"nbsp", ' '},      {"copy", 0xA9},    {"reg", 0xAE},     {"trade", 0x2122}, {"euro", 0x20AC},
    {"hellip", 0x2026}, {"mdash", 0x2014}, {"ndash", 0x2013}, {"lsquo", 0x2018}, {"rsquo", 0x2019},
    {"ldquo", 0x201C},  {"rdquo", 0x201D}, {"laquo", 0xAB},   {"raquo", 0xBB},   {"bull", 0x2022},
    {"middot", 0xB7},   {"shy", 0xAD},     {"zwnj", 0x200C},  {"zwj", 0x200D},
};

// Decodes a character reference at `pos` (which holds '&'). Returns false,
// leaving `pos` alone, when there is none.
bool decodeEntity(std::string_view html, std::size_t& pos, char32_t& cp) {
    std::size_t i = pos + 1;
    if (i < html.size() && html[i] == '#') {
        ++i;
        const bool hex = i < html.size() && (html[i] == 'x' || html[i] == 'X');
        if (hex)
            ++i;
        const std::size_t digitsStart = i;
        std::uint32_t value = 0;
        for (; i < html.size(); ++i) {
            const char c = html[i];
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0)
                break;
            value = std::min<std::uint32_t>(
                value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit), 0x110000);
        }
        if (i == digitsStart)
            return false;
        if (i < html.size() && html[i] == ';')
            ++i;
        if (value >= 0x80 && value < 0xA0) // as browsers do: windows-1252
            cp = windows1252ToUnicode(static_cast<unsigned char>(value));
        else if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            cp = kReplacementChar;
        else
            cp = value;
        pos = i;
        return true;
    }
    const std::size_t nameStart = i;
    while (i < html.size() && i - nameStart <= 8 && isAsciiAlnum(html[i]))
        ++i;
    if (i >= html.size() || html[i] != ';')
        return false;
    const std::string_view name = html.substr(nameStart, i - nameStart);
    for (const NamedEntity& entity : kEntities) {
        if (entity.name == name) {
            cp = entity.cp;
            pos = i + 1;
            return true;
        }
    }
    return false;
}

enum class TagEffect { None, Break, LineBreak, Paragraph, Cell };

TagEffect effectOf(std::string_view name, bool closing) {
    if (name == "br")
        return closing ? TagEffect::None : TagEffect::Break;
    if (name == "p" || (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6'))
        return TagEffect::Paragraph;
    if (name == "td" || name == "th")
        return TagEffect::Cell;
    static constexpr std::string_view kBlocks[] = {
        "address", "article", "aside",  "blockquote", "center", "dd", "div", "dl",
        "dt",      "figure",  "footer", "form",       "header", "hr", "li",  "main",
        "nav",     "ol",      "pre",    "section",    "table",  "tr", "ul"};
    for (std::string_view block : kBlocks) {
        if (name == block)
            return TagEffect::LineBreak;
    }
    return TagEffect::None;
}

bool isRawTextElement(std::string_view name) {
    return name == "script" || name == "style" || name == "title";
}

// Position of the "</name" that closes a raw-text element, or npos.
std::size_t findClosingTag(std::string_view html, std::size_t from, std::string_view name) {
    for (std::size_t i = html.find('<', from); i != std::string_view::npos;
         i = html.find('<', i + 1)) {
        if (i + 1 + name.size() >= html.size())
            return std::string_view::npos;
        if (html[i + 1] != '/')
            continue;
        bool match = true;
        for (std::size_t k = 0; k < name.size() && match; ++k)
            match = toLowerAscii(html[i + 2 + k]) == name[k];
        if (match)
            return i;
    }
    return std::string_view::npos;
}

// Skips the rest of a tag from `pos` (just after its name) past the closing
// '>', honouring quoted attribute values. Returns the position after '>'.
std::size_t skipTagRest(std::string_view html, std::size_t pos, bool& selfClosing) {
    selfClosing = false;
    while (pos < html.size()) {
        const char c = html[pos++];
        if (c == '>')
            return pos;
        selfClosing = c == '/';
        if (c == '=') {
            while (pos < html.size() && isHtmlSpace(html[pos]))
                ++pos;
            if (pos < html.size() && (html[pos] == '"' || html[pos] == '\'')) {
                const std::size_t close = html.find(html[pos], pos + 1);
                if (close == std::string_view::npos)
                    return html.size();
                pos = close + 1;
            }
        }
    }
    return html.size();
}

} // namespace

std::string htmlToText(std::string_view html) {
    TextBuilder text;
    bool inPre = false;
    std::size_t pos = 0;
    while (pos < html.size()) {
        const char c = html[pos];
        if (c == '<' && pos + 1 < html.size()) {
            const char next = html[pos + 1];
            if (next == '!' && html.substr(pos, 4) == "<!--") {
                const std::size_t end = html.find("-->", pos + 4);
                pos = end == std::string_view::npos ? html.size() : end + 3;
                continue;
            }
            if (next == '!' || next == '?') {
                const std::size_t end = html.find('>', pos);
                pos = end == std::string_view::npos ? html.size() : end + 1;
                continue;
            }
            const bool closing = next == '/';
            const std::size_t nameStart = pos + (closing ? 2 : 1);
            if (nameStart < html.size() && isAsciiAlpha(html[nameStart])) {
                std::string name;
                std::size_t i = nameStart;
                while (i < html.size() && isAsciiAlnum(html[i])) {
                    if (name.size() < kMaxTagName)
                        name.push_back(toLowerAscii(html[i]));
                    ++i;
                }
                bool selfClosing = false;
                pos = skipTagRest(html, i, selfClosing);
                switch (effectOf(name, closing)) {
                case TagEffect::Break:
                    text.addBreak();
                    break;
                case TagEffect::LineBreak:
                    text.breakLines(1);
                    break;
                case TagEffect::Paragraph:
                    text.breakLines(2);
                    break;
                case TagEffect::Cell:
                    text.space();
                    break;
                case TagEffect::None:
                    break;
                }
                if (name == "pre")
                    inPre = !closing;
                if (!closing && !selfClosing && isRawTextElement(name)) {
                    const std::size_t end = findClosingTag(html, pos, name);
                    pos = end == std::string_view::npos ? html.size() : end;
                }
                continue;
            }
        }
        if (c == '&') {
            char32_t cp = 0;
            if (decodeEntity(html, pos, cp)) {
                text.put(cp);
                continue;
            }
        }
        if (isHtmlSpace(c)) {
            if (inPre && c == '\n')
                text.addBreak();
            else if (inPre && c != '\r')
                text.put(std::string_view(&html[pos], 1));
            else
                text.space();
            ++pos;
            continue;
        }
        // Copy a run of ordinary characters in one go.
        std::size_t end = pos + 1;
        while (end < html.size() && html[end] != '<' && html[end] != '&' && !isHtmlSpace(html[end]))
            ++end;
        text.put(html.substr(pos, end - pos));
        pos = end;
    }
    return text.take();
}

} // namespace devkit
