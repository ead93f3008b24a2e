// Recurrence rules (RRULE): FREQ, INTERVAL, COUNT, UNTIL, BYDAY with ordinals, BYMONTHDAY,
// BYMONTH, BYSETPOS and WKST, expanded in wall-clock time.
#pragma once

#include "ical_time.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace devkit::ical {

enum class Frequency { secondly, minutely, hourly, daily, weekly, monthly, yearly };

struct WeekdayNumber {
    int ordinal = 0; // 0: every such weekday; +n the nth; -n the nth from the end
    int weekday = 0; // 0 = Sunday ... 6 = Saturday
};

struct RecurrenceRule {
    Frequency frequency = Frequency::daily;
    int interval = 1;
    std::optional<int> count;
    std::optional<DateTime> until;
    std::vector<WeekdayNumber> byDay;
    std::vector<int> byMonthDay; // 1..31 or -31..-1
    std::vector<int> byMonth;    // 1..12
    std::vector<int> bySetPos;
    int weekStart = 1; // Monday
};

// Fails on a missing or unknown FREQ and on values out of range; parts the kit does not expand
// (BYHOUR, BYWEEKNO, ...) are ignored.
std::optional<RecurrenceRule> parseRecurrenceRule(std::string_view text);

// The occurrences of a rule, in ascending wall-clock order. The start is always the first
// occurrence (and counts towards COUNT).
class Recurrence {
public:
    // `beyondUntil` tells whether an occurrence lies after the rule's UNTIL; it is the caller's
    // since UNTIL is an instant and the occurrences are wall-clock times of some zone.
    Recurrence(const RecurrenceRule& rule, std::int64_t startWall,
               std::function<bool(std::int64_t)> beyondUntil = {});

    std::optional<std::int64_t> next();
    // Moves ahead so that next() yields no occurrence much before `wall` that it would not
    // otherwise skip. A rule with COUNT skips only when each of its periods holds exactly one
    // occurrence (FREQ up to DAILY without BY parts); otherwise it does nothing.
    void skipTo(std::int64_t wall);
    // Periods of the rule expanded so far, with or without occurrences: the work done.
    std::int64_t periodsExpanded() const { return expanded_; }

private:
    void fill(std::int64_t period);

    RecurrenceRule rule_;
    std::int64_t start_;
    std::function<bool(std::int64_t)> beyondUntil_;
    std::int64_t period_ = 0; // index of the next period to expand
    std::vector<std::int64_t> pending_;
    std::size_t pendingAt_ = 0;
    int emitted_ = 0;
    std::int64_t expanded_ = 0;
    bool startDone_ = false;
    bool finished_ = false;
};

} // namespace devkit::ical
