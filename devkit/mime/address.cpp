#include "address.h"

#include <cstddef>

#include "encoded_words.h"

namespace devkit {
namespace {

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isPunctuation(char c) {
    return c == '<' || c == '>' || c == ',' || c == ':' || c == ';' || c == '"' || c == '(' ||
           c == ')';
}

struct Token {
    enum Kind { Atom, Quoted, Comment, Angle, Punctuation } kind = Punctuation;
    std::string text;         // unescaped content; for Punctuation the character
    bool spaceBefore = false; // separated from the previous token
};

// Reads up to the closing `close`, honouring backslash escapes. For comments
// nested parentheses are tracked. `pos` starts after the opening character.
std::string readDelimited(std::string_view s, std::size_t& pos, char close, bool nests) {
    std::string out;
    int depth = 1;
    while (pos < s.size()) {
        const char c = s[pos++];
        if (c == '\\' && pos < s.size()) {
            out.push_back(s[pos++]);
            continue;
        }
        if (nests && c == '(') {
            ++depth;
        } else if (c == close && --depth == 0) {
            break;
        }
        out.push_back(c);
    }
    return out;
}

// Angle address content up to '>', keeping quoted local parts intact.
std::string readAngle(std::string_view s, std::size_t& pos) {
    std::string out;
    bool quoted = false;
    while (pos < s.size()) {
        const char c = s[pos++];
        if (quoted && c == '\\' && pos < s.size()) {
            out.push_back(c);
            out.push_back(s[pos++]);
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        else if (c == '>' && !quoted)
            break;
        if (!isWhitespace(c) || quoted)
            out.push_back(c);
    }
    return out;
}

// Pulls one token at a time; only the phrase being read is kept in memory.
class Tokenizer {
public:
    explicit Tokenizer(std::string_view text) : s_(text) {}

    bool next(Token& token) {
        bool space = afterComment_;
        while (pos_ < s_.size() && isWhitespace(s_[pos_])) {
            space = true;
            ++pos_;
        }
        if (pos_ >= s_.size())
            return false;
        const char c = s_[pos_++];
        token = Token{Token::Punctuation, {}, space};
        if (c == '"') {
            token.kind = Token::Quoted;
            token.text = readDelimited(s_, pos_, '"', false);
        } else if (c == '(') {
            token.kind = Token::Comment;
            token.text = readDelimited(s_, pos_, ')', true);
        } else if (c == '<') {
            token.kind = Token::Angle;
            token.text = readAngle(s_, pos_);
        } else if (isPunctuation(c)) {
            token.text.assign(1, c);
        } else {
            token.kind = Token::Atom;
            const std::size_t start = pos_ - 1;
            while (pos_ < s_.size() && !isWhitespace(s_[pos_]) && !isPunctuation(s_[pos_]))
                ++pos_;
            token.text.assign(s_.substr(start, pos_ - start));
        }
        // A comment separates the words around it like whitespace does.
        afterComment_ = token.kind == Token::Comment;
        return true;
    }

private:
    std::string_view s_;
    std::size_t pos_ = 0;
    bool afterComment_ = false;
};

std::string quoteLocalPart(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// Words and quoted strings read since the last separator, kept both as a
// display name and as a bare address, since which one they are is only known
// at the next separator.
struct Phrase {
    std::string nameRaw;     // words joined by single spaces, encoded words intact
    std::string bareAddress; // words joined without spaces, quoted parts re-quoted
    std::size_t words = 0;
    bool firstIsAtom = false;
    bool atomHasAt = false;

    void add(const Token& token) {
        if (words > 0 && token.spaceBefore)
            nameRaw.push_back(' ');
        nameRaw += token.text;
        bareAddress += token.kind == Token::Quoted ? quoteLocalPart(token.text) : token.text;
        if (words++ == 0)
            firstIsAtom = token.kind == Token::Atom;
        if (token.kind == Token::Atom && token.text.find('@') != std::string::npos)
            atomHasAt = true;
    }

    bool empty() const { return words == 0; }
    std::string name() const { return decodeHeaderText(nameRaw); }
};

// Drops an obsolete source route: "@relay1,@relay2:user@host" -> "user@host".
std::string stripRoute(std::string_view address) {
    if (!address.empty() && address.front() == '@') {
        const std::size_t colon = address.find(':');
        if (colon != std::string_view::npos)
            address.remove_prefix(colon + 1);
    }
    return std::string(address);
}

// A phrase that ended without angle brackets: a bare address, or just a name.
Mailbox mailboxFromBarePhrase(const Phrase& phrase, const std::string* comment) {
    // An address needs an '@' outside quotes, except for a lone local name
    // such as "MAILER-DAEMON".
    Mailbox mailbox;
    if (!phrase.atomHasAt && !(phrase.words == 1 && phrase.firstIsAtom)) {
        mailbox.displayName = phrase.name();
        return mailbox;
    }
    mailbox.address = phrase.bareAddress;
    if (comment)
        mailbox.displayName = decodeHeaderText(*comment);
    return mailbox;
}

} // namespace

Mailbox parseFirstMailbox(std::string_view headerValue) {
    Tokenizer tokens(headerValue);
    Token token;
    Phrase phrase;
    std::string comment;
    bool haveComment = false;
    std::string groupName;
    while (tokens.next(token)) {
        switch (token.kind) {
        case Token::Atom:
        case Token::Quoted:
            phrase.add(token);
            break;
        case Token::Comment:
            if (!haveComment) {
                comment = std::move(token.text);
                haveComment = true;
            }
            break;
        case Token::Angle: {
            Mailbox mailbox{phrase.name(), stripRoute(token.text)};
            if (mailbox.displayName.empty() && haveComment)
                mailbox.displayName = decodeHeaderText(comment);
            return mailbox;
        }
        case Token::Punctuation:
            if (token.text == ":" && !phrase.empty()) {
                groupName = phrase.name();
                phrase = Phrase{};
                haveComment = false;
            } else if ((token.text == "," || token.text == ";") && !phrase.empty()) {
                return mailboxFromBarePhrase(phrase, haveComment ? &comment : nullptr);
            } else if (token.text == ",") {
                haveComment = false;
            }
            break;
        }
    }
    if (!phrase.empty())
        return mailboxFromBarePhrase(phrase, haveComment ? &comment : nullptr);
    Mailbox mailbox;
    mailbox.displayName = groupName;
    return mailbox;
}

} // namespace devkit
