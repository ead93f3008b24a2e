#include "zone_rules.h"

#include "reminder_text.h"

namespace {

constexpr std::size_t rulesSize = 48;
constexpr Ticks ticksPerDay = 24 * 60 * ticksPerMinute;

int word(const std::uint8_t* at) {
    return at[0] | at[1] << 8;
}

int signedLong(const std::uint8_t* at) {
    return int(std::int32_t(std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 |
                            std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24));
}

// A SYSTEMTIME: year, month, weekday, day, hour, minute, second, milliseconds.
ZoneChange changeAt(const std::uint8_t* at) {
    return {word(at), word(at + 2), word(at + 4), word(at + 6), word(at + 8), word(at + 10)};
}

bool valid(const ZoneChange& change) {
    if (change.month == 0)
        return true;
    return change.month <= 12 && change.weekday <= 6 && change.day >= 1 && change.day <= 31 &&
           change.hour <= 23 && change.minute <= 59 && (change.year == 0 || change.year >= 1601) &&
           (change.year != 0 || change.day <= 5);
}

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// The wall-clock moment of a change in `year`; nothing when it does not happen that year.
std::optional<Ticks> wallMomentOf(const ZoneChange& change, int year) {
    if (change.year != 0 && change.year != year)
        return std::nullopt;
    int day = change.day;
    if (change.year == 0) {
        const Ticks first = ticksOf(CivilTime{year, change.month, 1, 0, 0, 0});
        const int firstWeekday = int((first / ticksPerDay + 1) % 7); // 1 January 1601: Monday
        day = 1 + (change.weekday - firstWeekday + 7) % 7 + 7 * (change.day - 1);
        while (day > daysInMonth(year, change.month)) // 5: the last one of the month
            day -= 7;
    } else if (day > daysInMonth(year, change.month)) {
        return std::nullopt;
    }
    return ticksOf(CivilTime{year, change.month, day, change.hour, change.minute, 0});
}

Ticks shifted(Ticks moment, std::int64_t minutes) {
    const std::int64_t ticks = minutes * std::int64_t(ticksPerMinute);
    return ticks < 0 && moment < Ticks(-ticks) ? 0 : moment + Ticks(ticks);
}

} // namespace

std::optional<ZoneRules> parseZoneRules(const std::uint8_t* bytes, std::size_t size) {
    if (!bytes || size != rulesSize)
        return std::nullopt;
    ZoneRules rules{signedLong(bytes), signedLong(bytes + 4), signedLong(bytes + 8),
                    changeAt(bytes + 14), changeAt(bytes + 32)};
    constexpr int day = 24 * 60;
    if (rules.bias <= -day || rules.bias >= day || rules.standardBias <= -day ||
        rules.standardBias >= day || rules.daylightBias <= -day || rules.daylightBias >= day ||
        !valid(rules.standardDate) || !valid(rules.daylightDate))
        return std::nullopt;
    return rules;
}

int offsetMinutesAt(const ZoneRules& rules, Ticks moment) {
    const int standard = -(rules.bias + rules.standardBias);
    const int daylight = -(rules.bias + rules.daylightBias);
    if (rules.standardDate.month == 0 || rules.daylightDate.month == 0)
        return standard;
    const int year = civilTime(shifted(moment, standard)).year;
    const auto summerWall = wallMomentOf(rules.daylightDate, year);
    const auto winterWall = wallMomentOf(rules.standardDate, year);
    if (!summerWall || !winterWall)
        return standard;
    // Each change is told in the wall-clock time before it.
    const Ticks summerStarts = shifted(*summerWall, -standard);
    const Ticks summerEnds = shifted(*winterWall, -daylight);
    const bool summer = summerStarts < summerEnds
                            ? moment >= summerStarts && moment < summerEnds
                            : moment >= summerStarts || moment < summerEnds; // southern
    return summer ? daylight : standard;
}

int reminderOffsetMinutes(const std::uint8_t* rules, std::size_t rulesSize,
                          std::string_view description, Ticks moment) {
    if (const auto parsed = parseZoneRules(rules, rulesSize))
        return offsetMinutesAt(*parsed, moment);
    return zoneOffsetMinutes(description);
}
