// Calendar arithmetic and the time values of iCalendar: DATE, DATE-TIME, DURATION and UTC
// offsets. Instants are seconds since 1970 UTC; wall-clock times ("wall seconds") are counted
// the same way but in no particular zone, so that a zone's offset turns one into the other.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace devkit::ical {

struct CivilDate {
    int year;
    int month; // 1-12
    int day;   // 1-31
};

std::int64_t daysFromCivil(int year, int month, int day);
CivilDate civilFromDays(std::int64_t days);
int daysInMonth(int year, int month);
// 0 = Sunday ... 6 = Saturday.
int weekdayOfDays(std::int64_t days);

inline constexpr std::int64_t kSecondsPerDay = 86400;

inline std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}
inline std::int64_t dayOf(std::int64_t seconds) {
    return floorDiv(seconds, kSecondsPerDay);
}
inline std::int64_t secondOfDay(std::int64_t seconds) {
    return seconds - dayOf(seconds) * kSecondsPerDay;
}

// A DATE or DATE-TIME value as written: its wall-clock time and how it is anchored.
struct DateTime {
    enum class Kind { date, floating, utc, zoned };
    std::int64_t wall = 0; // for a DATE, midnight of that day
    Kind kind = Kind::floating;
    std::string zone; // TZID, for zoned values

    bool isDate() const { return kind == Kind::date; }
};

// "20261207" or "20261207T143000" with an optional "Z". Years 1 to 9999; a second of 60 (leap
// second) reads as 59.
std::optional<DateTime> parseDateTime(std::string_view text);

// A DURATION: weeks and days are nominal (a day is a calendar day of the zone), the rest exact.
struct Duration {
    std::int64_t days = 0;    // signed
    std::int64_t seconds = 0; // signed
    std::int64_t totalSeconds() const { return days * kSecondsPerDay + seconds; }
};

// "[+-]P[nW][nD][T[nH][nM][nS]]", as well as "PnWnD" written by some clients.
std::optional<Duration> parseDuration(std::string_view text);

// "+0100", "-0530", "+013000": seconds east of Greenwich.
std::optional<int> parseUtcOffset(std::string_view text);

// "2026-12-07 14:30" of an instant or wall time (for listings and messages).
std::string formatMinute(std::int64_t seconds);

} // namespace devkit::ical
