#include "content.h"

#include "ascii.h"

#include <algorithm>
#include <cstring>

namespace devkit::ical {

namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool isNameChar(char c) {
    return isAsciiAlnum(c) || c == '-';
}

// The logical lines of a stream, read a character at a time with folded lines joined: a line
// break followed by a space or tab continues the line. Empty lines are skipped. Nothing is
// copied: a line is a run of segments of the text.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}

    // Moves to the next logical line that is not empty; false at the end of the text.
    bool next() {
        if (started_)
            skipRest();
        started_ = true;
        while (next_ < text_.size()) {
            const Raw raw = rawAt(next_);
            next_ = raw.following;
            if (raw.begin == raw.end)
                continue;
            at_ = raw.begin;
            end_ = raw.end;
            return true;
        }
        return false;
    }

    // The next character of the line; false at its end.
    bool more() {
        while (at_ == end_) {
            if (next_ >= text_.size())
                return false;
            const Raw raw = rawAt(next_);
            if (raw.begin != raw.end && text_[raw.begin] != ' ' && text_[raw.begin] != '\t')
                return false; // the next logical line
            next_ = raw.following;
            if (raw.begin != raw.end) {
                at_ = raw.begin + 1;
                end_ = raw.end;
            }
        }
        return true;
    }
    char peek() const { return text_[at_]; }
    void advance() { ++at_; }

    // Copies the rest of the line to `out`; the number of characters copied.
    std::size_t copyRest(char* out) {
        std::size_t copied = 0;
        while (more()) {
            std::memcpy(out + copied, text_.data() + at_, end_ - at_);
            copied += end_ - at_;
            at_ = end_;
        }
        return copied;
    }
    void skipRest() {
        while (more())
            at_ = end_;
    }

private:
    struct Raw {
        std::size_t begin, end, following; // without its line break
    };
    Raw rawAt(std::size_t begin) const {
        std::size_t end = text_.find('\n', begin);
        const std::size_t following = end == std::string_view::npos ? text_.size() : end + 1;
        if (end == std::string_view::npos)
            end = text_.size();
        if (end > begin && text_[end - 1] == '\r')
            --end;
        return {begin, end, following};
    }

    std::string_view text_;
    std::size_t next_ = 0;         // the next raw line
    std::size_t at_ = 0, end_ = 0; // the segment being read
    bool started_ = false;
};

constexpr std::size_t npos = std::string_view::npos;
// Longer names are never kept when a selection is given.
constexpr std::size_t kLongestKeptName = 64;

bool selected(std::span<const std::string_view> names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Reads a name (letters, digits and '-') into `out` in upper case, writing at most `room`
// characters; its whole length.
std::size_t readName(Lines& lines, char* out, std::size_t room) {
    std::size_t n = 0;
    for (; lines.more() && isNameChar(lines.peek()); ++n, lines.advance())
        if (n < room)
            out[n] = upper(lines.peek());
    return n;
}

// Reads the parameters of a content line (";PARAM=a,\"b;c\"...") and its ':', into `out`
// (names in upper case) unless it is null; false when the line is not a content line.
bool readParameters(Lines& lines, char* out, std::size_t& length) {
    std::size_t n = 0;
    const std::size_t room = out ? std::string_view::npos : 0;
    auto put = [&](char c) {
        if (out)
            out[n] = c;
        ++n;
    };
    while (lines.more() && lines.peek() == ';') {
        put(';');
        lines.advance();
        const std::size_t name = readName(lines, out ? out + n : nullptr, room);
        n += name;
        if (name == 0 || !lines.more() || lines.peek() != '=')
            return false;
        do {
            put(lines.peek()); // '=' or ','
            lines.advance();
            if (lines.more() && lines.peek() == '"') {
                do {
                    put(lines.peek());
                    lines.advance();
                    if (!lines.more())
                        return false;
                } while (lines.peek() != '"');
                put('"');
                lines.advance();
            } else {
                while (lines.more() && lines.peek() != ',' && lines.peek() != ';' &&
                       lines.peek() != ':' && lines.peek() != '"') {
                    put(lines.peek());
                    lines.advance();
                }
            }
        } while (lines.more() && lines.peek() == ',');
    }
    if (!lines.more() || lines.peek() != ':')
        return false;
    lines.advance();
    length = out ? n : 0;
    return true;
}

} // namespace

std::string_view ContentLine::parameter(std::string_view wanted) const {
    std::size_t i = 0;
    while (i < parameters.size()) { // at a ';'
        const std::size_t equals = parameters.find('=', i);
        const bool match = parameters.substr(i + 1, equals - i - 1) == wanted;
        std::size_t end = equals + 1; // the end of the first value
        std::string_view first;
        if (end < parameters.size() && parameters[end] == '"') {
            const std::size_t close = parameters.find('"', end + 1);
            first = parameters.substr(end + 1, close - end - 1);
        } else {
            end = std::min(parameters.find_first_of(",;", end), parameters.size());
            first = parameters.substr(equals + 1, end - equals - 1);
        }
        if (match)
            return first;
        // The next parameter: the first ';' outside quotes.
        bool quoted = false;
        for (i = equals + 1; i < parameters.size() && (quoted || parameters[i] != ';'); ++i)
            if (parameters[i] == '"')
                quoted = !quoted;
    }
    return {};
}

const ContentLine* Component::find(std::string_view wanted) const {
    for (const ContentLine& line : properties)
        if (line.name == wanted)
            return &line;
    return nullptr;
}

std::vector<const ContentLine*> Component::findAll(std::string_view wanted) const {
    std::vector<const ContentLine*> found;
    for (const ContentLine& line : properties)
        if (line.name == wanted)
            found.push_back(&line);
    return found;
}

bool Document::parse(std::string_view text, std::string& error, const Selection* keep) {
    components_ = {};
    truncated_ = false;
    if (text.size() > kMaxCalendarBytes) {
        error = "file too large";
        return false;
    }
    // Unfolding only ever shortens: what is kept fits in the text's size. Memory is touched
    // only where something is written, so a stream costs what it keeps, not what it holds.
    text_.reset(new char[text.size() + 1]);
    char* const buffer = text_.get();
    // The lines and components of the open components, each one's after its parent's: a
    // component that closes moves its own into lines_ and parts_.
    // Each line keeps at most one of them.
    const std::size_t most =
        std::min(kMaxKeptLines, std::size_t(std::count(text.begin(), text.end(), '\n')) + 1);
    std::vector<ContentLine> openLines;
    std::vector<Component> openParts;
    for (auto* arena : {&lines_, &openLines})
        arena->clear(), arena->reserve(most);
    for (auto* arena : {&parts_, &openParts})
        arena->clear(), arena->reserve(most);
    struct Open {
        std::string_view name;
        bool kept;
        std::size_t used;         // of the buffer, before its name
        std::size_t lines, parts; // its first in openLines and openParts
    };
    std::vector<Open> open;
    std::size_t used = 0, kept = 0, count = 0;
    Lines lines(text);
    while (lines.next()) {
        if (++count > kMaxContentLines) {
            error = "too many lines";
            return false;
        }
        char* const out = buffer + used;
        // Of a name longer than any selected one, only its start is written: it is kept by
        // no one, and neither BEGIN nor END.
        const std::size_t nameLength = readName(lines, out, keep ? kLongestKeptName : npos);
        const std::string_view name(out, std::min(nameLength, keep ? kLongestKeptName : npos));
        const bool component = name == "BEGIN" || name == "END";
        const bool keeping =
            component || (!open.empty() && open.back().kept && nameLength == name.size() &&
                          (!keep || selected(keep->properties, name)));
        std::size_t parametersLength = 0;
        if (nameLength == 0 ||
            !readParameters(lines, keeping && !component ? out + name.size() : nullptr,
                            parametersLength)) {
            error = "line " + std::to_string(count) + " is not a content line";
            return false;
        }
        char* const value = out + name.size() + parametersLength;
        if (component) {
            const std::size_t length = lines.copyRest(value);
            std::transform(value, value + length, value, upper);
            const std::string_view component(value, length);
            if (name == "BEGIN") {
                if (open.size() >= std::size_t(kMaxComponentDepth)) {
                    error = "components nested too deeply";
                    return false;
                }
                bool keeping = (open.empty() || open.back().kept) &&
                               (!keep || selected(keep->components, component));
                if (keeping && ++kept > most) {
                    truncated_ = true;
                    keeping = false;
                }
                open.push_back({component, keeping, used, openLines.size(), openParts.size()});
                used = std::size_t(value + length - buffer); // the name stays until its END
            } else {
                if (open.empty() || open.back().name != component) {
                    error = "END:" + std::string(component) + " does not close an open component";
                    return false;
                }
                const Open done = open.back();
                open.pop_back();
                if (!done.kept) {
                    used = done.used; // nothing of it was kept
                    continue;
                }
                const std::size_t firstLine = lines_.size(), firstPart = parts_.size();
                lines_.insert(lines_.end(), openLines.begin() + done.lines, openLines.end());
                parts_.insert(parts_.end(), openParts.begin() + done.parts, openParts.end());
                openLines.resize(done.lines);
                openParts.resize(done.parts);
                openParts.push_back({done.name,
                                     {lines_.data() + firstLine, lines_.size() - firstLine},
                                     {parts_.data() + firstPart, parts_.size() - firstPart}});
            }
            continue;
        }
        if (open.empty()) {
            error = "property " + std::string(name) + " outside any component";
            return false;
        }
        if (!keeping) {
            lines.skipRest();
            continue;
        }
        if (++kept > most) {
            truncated_ = true;
            lines.skipRest();
            continue;
        }
        const std::size_t length = lines.copyRest(value);
        openLines.push_back({name, std::string_view(out + name.size(), parametersLength),
                             std::string_view(value, length)});
        used = std::size_t(value + length - buffer);
    }
    if (!open.empty()) {
        error = "BEGIN:" + std::string(open.back().name) + " is never closed";
        return false;
    }
    if (openParts.empty()) {
        error = "no component";
        return false;
    }
    const std::size_t first = parts_.size();
    parts_.insert(parts_.end(), openParts.begin(), openParts.end());
    components_ = {parts_.data() + first, parts_.size() - first};
    return true;
}

std::string unescapeText(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[++i];
        out += next == 'n' || next == 'N' ? '\n' : next;
    }
    return out;
}

void forEachListItem(std::string_view value, const std::function<bool(std::string_view)>& visit) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\')
            ++i;
        else if (value[i] == ',') {
            if (!visit(value.substr(start, i - start)))
                return;
            start = i + 1;
        }
    }
    visit(value.substr(std::min(start, value.size())));
}

} // namespace devkit::ical
