#include "content.h"

#include "ascii.h"

namespace devkit::ical {

namespace {

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return out;
}

bool isNameChar(char c) {
    return isAsciiAlnum(c) || c == '-';
}

} // namespace

std::string ContentLine::parameter(std::string_view wanted) const {
    for (const Parameter& p : parameters)
        if (p.name == wanted && !p.values.empty())
            return p.values.front();
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

std::vector<std::string> unfoldLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty())
            lines.back().append(line.substr(1));
        else if (!line.empty())
            lines.emplace_back(line);
        start = end + 1;
    }
    return lines;
}

bool parseContentLine(std::string_view line, ContentLine& out) {
    std::size_t i = 0;
    while (i < line.size() && isNameChar(line[i]))
        ++i;
    if (i == 0)
        return false;
    out.name = upper(line.substr(0, i));
    out.parameters.clear();
    while (i < line.size() && line[i] == ';') {
        const std::size_t nameStart = ++i;
        while (i < line.size() && isNameChar(line[i]))
            ++i;
        if (i == nameStart || i >= line.size() || line[i] != '=')
            return false;
        Parameter parameter{upper(line.substr(nameStart, i - nameStart)), {}};
        do {
            ++i; // '=' or ','
            if (i < line.size() && line[i] == '"') {
                const std::size_t close = line.find('"', i + 1);
                if (close == std::string_view::npos)
                    return false;
                parameter.values.emplace_back(line.substr(i + 1, close - i - 1));
                i = close + 1;
            } else {
                const std::size_t valueStart = i;
                while (i < line.size() && line[i] != ',' && line[i] != ';' && line[i] != ':' &&
                       line[i] != '"')
                    ++i;
                parameter.values.emplace_back(line.substr(valueStart, i - valueStart));
            }
        } while (i < line.size() && line[i] == ',');
        out.parameters.push_back(std::move(parameter));
    }
    if (i >= line.size() || line[i] != ':')
        return false;
    out.value.assign(line.substr(i + 1));
    return true;
}

bool parseComponents(std::string_view text, std::vector<Component>& out, std::string& error) {
    out.clear();
    if (text.size() > kMaxCalendarBytes) {
        error = "file too large";
        return false;
    }
    const std::vector<std::string> lines = unfoldLines(text);
    if (lines.size() > kMaxContentLines) {
        error = "too many lines";
        return false;
    }
    std::vector<Component> open;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        ContentLine line;
        if (!parseContentLine(lines[n], line)) {
            error = "line " + std::to_string(n + 1) + " is not a content line";
            return false;
        }
        if (line.name == "BEGIN") {
            if (open.size() >= std::size_t(kMaxComponentDepth)) {
                error = "components nested too deeply";
                return false;
            }
            open.push_back(Component{upper(line.value), {}, {}});
        } else if (line.name == "END") {
            if (open.empty() || open.back().name != upper(line.value)) {
                error = "END:" + line.value + " does not close an open component";
                return false;
            }
            Component done = std::move(open.back());
            open.pop_back();
            (open.empty() ? out : open.back().children).push_back(std::move(done));
        } else if (!open.empty()) {
            open.back().properties.push_back(std::move(line));
        } else {
            error = "property " + line.name + " outside any component";
            return false;
        }
    }
    if (!open.empty()) {
        error = "BEGIN:" + open.back().name + " is never closed";
        return false;
    }
    if (out.empty()) {
        error = "no component";
        return false;
    }
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

std::vector<std::string> splitList(std::string_view value) {
    std::vector<std::string> items;
    std::string current;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            current += value[i];
            current += value[++i];
        } else if (value[i] == ',') {
            items.push_back(std::move(current));
            current.clear();
        } else {
            current += value[i];
        }
    }
    items.push_back(std::move(current));
    return items;
}

} // namespace devkit::ical
