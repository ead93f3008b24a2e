#include "header_params.h"

#include <algorithm>
#include <cstddef>

#include "ascii.h"
#include "charset.h"

namespace devkit {
namespace {

// Bounds the parameter list; real headers carry a handful.
constexpr std::size_t kMaxParams = 64;

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isTokenChar(char c) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F)
        return false;
    constexpr std::string_view kSeparators = "()<>@,;:\\\"/[]?=";
    return kSeparators.find(c) == std::string_view::npos;
}

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    void advance() { ++pos_; }

    // Skips whitespace and (nested) comments.
    void skipSpace() {
        while (!atEnd()) {
            if (isWhitespace(peek())) {
                advance();
            } else if (peek() == '(') {
                int depth = 0;
                while (!atEnd()) {
                    const char c = peek();
                    advance();
                    if (c == '\\') {
                        if (!atEnd())
                            advance();
                    } else if (c == '(') {
                        ++depth;
                    } else if (c == ')' && --depth == 0) {
                        break;
                    }
                }
            } else {
                return;
            }
        }
    }

    std::string token() {
        std::string out;
        while (!atEnd() && isTokenChar(peek())) {
            out.push_back(toLowerAscii(peek()));
            advance();
        }
        return out;
    }

    // Quoted string (pos at the opening quote) or lenient unquoted value.
    std::string paramValue() {
        std::string out;
        if (peek() == '"') {
            advance();
            while (!atEnd() && peek() != '"') {
                if (peek() == '\\') {
                    advance();
                    if (atEnd())
                        break;
                }
                out.push_back(peek());
                advance();
            }
            if (!atEnd())
                advance();
            return out;
        }
        while (!atEnd() && peek() != ';' && !isWhitespace(peek())) {
            out.push_back(peek());
            advance();
        }
        return out;
    }

    void skipPast(char c) {
        while (!atEnd() && peek() != c)
            advance();
        if (!atEnd())
            advance();
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

std::string percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? hexDigitValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexDigitValue(text[i + 2]) : -1;
        if (low >= 0) {
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// RFC 2231: "name*=charset'language'%XX..." and sections "name*0", "name*1*", ... joined in
// order into one parameter, decoded to UTF-8. The joined value wins over a plain one.
void joinExtendedParams(std::vector<std::pair<std::string, std::string>>& params) {
    struct Section {
        unsigned number;
        bool encoded;
        std::string text;
    };
    std::vector<std::pair<std::string, std::vector<Section>>> extended;
    std::vector<std::pair<std::string, std::string>> plain;
    for (auto& [name, text] : params) {
        const std::size_t star = name.find('*');
        if (star == std::string::npos || star == 0) {
            plain.emplace_back(std::move(name), std::move(text));
            continue;
        }
        // "name*": one encoded value; "name*N": section N; "name*N*": section N, encoded.
        std::string_view rest = std::string_view(name).substr(star + 1);
        const bool encoded = rest.empty() || rest.back() == '*';
        if (!rest.empty() && rest.back() == '*')
            rest.remove_suffix(1);
        unsigned number = 0;
        if (!rest.empty() || name.back() != '*') {
            const bool digits = !rest.empty() && std::all_of(rest.begin(), rest.end(), [](char c) {
                return c >= '0' && c <= '9';
            });
            if (!digits || rest.size() > 3 || (rest.size() > 1 && rest[0] == '0'))
                continue; // not a section number RFC 2231 allows
            for (char c : rest)
                number = number * 10 + unsigned(c - '0');
        }
        const std::string base = name.substr(0, star);
        auto it = std::find_if(extended.begin(), extended.end(),
                               [&](const auto& entry) { return entry.first == base; });
        if (it == extended.end())
            it = extended.insert(extended.end(), {base, {}});
        it->second.push_back({number, encoded, std::move(text)});
    }
    for (auto& entry : extended) {
        const std::string& base = entry.first;
        std::vector<Section>& sections = entry.second;
        std::stable_sort(sections.begin(), sections.end(),
                         [](const Section& a, const Section& b) { return a.number < b.number; });
        std::string charset;
        std::string bytes;
        for (std::size_t i = 0; i < sections.size(); ++i) {
            if (sections[i].number != i)
                break; // a gap or a repeat: the rest is not used
            std::string_view text = sections[i].text;
            if (sections[i].encoded) {
                if (i == 0) { // charset'language'value
                    const std::size_t first = text.find('\'');
                    const std::size_t second = first == std::string_view::npos
                                                   ? std::string_view::npos
                                                   : text.find('\'', first + 1);
                    if (second != std::string_view::npos) {
                        charset = std::string(text.substr(0, first));
                        text.remove_prefix(second + 1);
                    }
                }
                bytes += percentDecoded(text);
            } else {
                bytes += text;
            }
        }
        std::string value = charset.empty() ? bytes : decodeCharset(bytes, charset);
        std::erase_if(plain, [&](const auto& param) { return param.first == base; });
        plain.emplace_back(base, std::move(value));
    }
    params = std::move(plain);
}

} // namespace

std::string ParameterizedValue::param(std::string_view name) const {
    for (const auto& [key, text] : params) {
        if (key == name)
            return text;
    }
    return {};
}

ParameterizedValue parseParameterizedValue(std::string_view text) {
    ParameterizedValue result;
    Reader in(text);
    in.skipSpace();
    result.value = in.token();
    in.skipSpace();
    if (in.peek() == '/') {
        in.advance();
        in.skipSpace();
        result.value += '/';
        result.value += in.token();
    }
    in.skipPast(';');
    while (!in.atEnd() && result.params.size() < kMaxParams) {
        in.skipSpace();
        std::string name = in.token();
        in.skipSpace();
        if (name.empty() || in.peek() != '=') {
            in.skipPast(';');
            continue;
        }
        in.advance();
        in.skipSpace();
        std::string value = in.paramValue();
        result.params.emplace_back(std::move(name), std::move(value));
        in.skipPast(';');
    }
    joinExtendedParams(result.params);
    return result;
}

} // namespace devkit
