#include "header_params.h"

#include <cstddef>

#include "ascii.h"

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
    return result;
}

} // namespace devkit
