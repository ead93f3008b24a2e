#include "header_block.h"

#include "ascii.h"

namespace devkit {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Length of the field name when `line` starts a header field, else 0.
std::size_t fieldNameLength(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && line[i] > ' ' && line[i] < 0x7F && line[i] != ':')
        ++i;
    const std::size_t nameLength = i;
    while (i < line.size() && isBlank(line[i])) // obsolete "Name :" form
        ++i;
    return nameLength > 0 && i < line.size() && line[i] == ':' ? nameLength : 0;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (isBlank(s.front()) || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

} // namespace

MimeEntity splitEntity(std::string_view entity) {
    MimeEntity result;
    bool skipping = false; // current field is past kMaxHeaderFields
    std::size_t pos = 0;
    while (pos < entity.size()) {
        std::size_t eol = entity.find('\n', pos);
        const std::size_t next = eol == std::string_view::npos ? entity.size() : eol + 1;
        if (eol == std::string_view::npos)
            eol = entity.size();
        std::string_view line = entity.substr(pos, eol - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        if (line.empty()) {
            result.body = entity.substr(next);
            break;
        }
        if (isBlank(line.front()) && (!result.headers.empty() || skipping)) {
            if (!skipping) {
                // Unfolding removes only the line break; the fold's whitespace stays.
                std::string& value = result.headers.back().value;
                value.append(line);
            }
        } else if (const std::size_t nameLength = fieldNameLength(line); nameLength > 0) {
            skipping = result.headers.size() >= kMaxHeaderFields;
            if (!skipping) {
                const std::size_t colon = line.find(':', nameLength);
                result.headers.push_back(
                    {line.substr(0, nameLength), std::string(line.substr(colon + 1))});
            }
        } else {
            result.body = entity.substr(pos);
            break;
        }
        pos = next;
    }
    for (HeaderField& field : result.headers) {
        const std::string_view trimmed = trimBlanks(field.value);
        if (trimmed.size() != field.value.size())
            field.value = std::string(trimmed);
    }
    return result;
}

const HeaderField* findHeader(const std::vector<HeaderField>& headers, std::string_view name) {
    for (const HeaderField& field : headers) {
        if (equalsIgnoreAsciiCase(field.name, name))
            return &field;
    }
    return nullptr;
}

} // namespace devkit
