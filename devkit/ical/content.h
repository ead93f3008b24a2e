// The syntax of an iCalendar stream: folded content lines, parameters, components and escaped
// text.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace devkit::ical {

// Names, parameters and values are views into the Document that holds the line.
struct ContentLine {
    std::string_view name;       // upper case
    std::string_view parameters; // as written, each with its ';' (names upper case)
    std::string_view value;      // raw, still escaped

    // The parameter's first value (unquoted), or "" when it is absent.
    std::string_view parameter(std::string_view name) const;
};

struct Component {
    std::string_view name; // upper case: VCALENDAR, VEVENT, VALARM, ...
    std::span<const ContentLine> properties;
    std::span<const Component> children;

    const ContentLine* find(std::string_view name) const;
    std::vector<const ContentLine*> findAll(std::string_view name) const;
};

// Limits that bound memory and work on hostile input.
inline constexpr std::size_t kMaxCalendarBytes = 4 * 1024 * 1024;
inline constexpr int kMaxComponentDepth = 16;
inline constexpr std::size_t kMaxContentLines = 100000;
// Properties and components kept of one stream; the rest are checked and left out.
inline constexpr std::size_t kMaxKeptLines = 10000;

// The components and properties (upper case) that a reader asks about: the others are checked
// and skipped without being kept, so that what a reader never looks at costs no memory.
struct Selection {
    std::span<const std::string_view> components;
    std::span<const std::string_view> properties;
};

// A parsed stream. It keeps the unfolded text, the lines and the components that its
// components' views point into: it may be moved, and the views stay valid.
class Document {
public:
    // The top-level components of a stream (normally one VCALENDAR), of the selected ones when
    // a selection is given. Fails, with a reason, on unbalanced BEGIN/END, on lines that are
    // not content lines and on input beyond the limits. Folded lines (a line break followed by
    // a space or tab continues the line) are joined; CRLF and bare LF line ends are accepted.
    bool parse(std::string_view text, std::string& error, const Selection* keep = nullptr);

    std::span<const Component> components() const { return components_; }
    // Lines were left out past kMaxKeptLines.
    bool truncated() const { return truncated_; }

private:
    // Each holds what closed components keep and never grows past what it reserves, so that
    // nothing moves once a component points at it.
    std::unique_ptr<char[]> text_;
    std::vector<ContentLine> lines_;
    std::vector<Component> parts_;
    std::span<const Component> components_;
    bool truncated_ = false;
};

// TEXT values: "\\n" and "\\N" are line breaks, "\\," "\\;" "\\\\" the characters themselves.
std::string unescapeText(std::string_view value);

// Calls `visit` with each item of a list value, split at commas that are not escaped (the
// items keep their escapes), until it answers false.
void forEachListItem(std::string_view value, const std::function<bool(std::string_view)>& visit);

} // namespace devkit::ical
