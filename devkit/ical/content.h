// The syntax of an iCalendar stream: folded content lines, parameters, components and escaped
// text.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace devkit::ical {

struct Parameter {
    std::string name;                // upper case
    std::vector<std::string> values; // unquoted
};

struct ContentLine {
    std::string name; // upper case
    std::vector<Parameter> parameters;
    std::string value; // raw, still escaped

    // The parameter's first value, or "" when it is absent.
    std::string parameter(std::string_view name) const;
};

struct Component {
    std::string name; // upper case: VCALENDAR, VEVENT, VALARM, ...
    std::vector<ContentLine> properties;
    std::vector<Component> children;

    const ContentLine* find(std::string_view name) const;
    std::vector<const ContentLine*> findAll(std::string_view name) const;
};

// Limits that bound memory and work on hostile input.
inline constexpr std::size_t kMaxCalendarBytes = 4 * 1024 * 1024;
inline constexpr int kMaxComponentDepth = 16;
inline constexpr std::size_t kMaxContentLines = 100000;

// Joins folded lines (a line break followed by a space or tab continues the line). Accepts CRLF
// and bare LF line ends.
std::vector<std::string> unfoldLines(std::string_view text);

// "NAME;PARAM=a,\"b;c\":value". False when the line is not a content line.
bool parseContentLine(std::string_view line, ContentLine& out);

// The top-level components of a stream (normally one VCALENDAR). Fails, with a reason, on
// unbalanced BEGIN/END, on lines that are not content lines and on input beyond the limits.
bool parseComponents(std::string_view text, std::vector<Component>& out, std::string& error);

// TEXT values: "\\n" and "\\N" are line breaks, "\\," "\\;" "\\\\" the characters themselves.
std::string unescapeText(std::string_view value);

// Splits a list value at commas that are not escaped.
std::vector<std::string> splitList(std::string_view value);

} // namespace devkit::ical
