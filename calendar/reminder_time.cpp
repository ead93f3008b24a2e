#include "reminder_time.h"

#include <algorithm>

namespace {

constexpr Ticks ticksPerDay = 24 * 60 * ticksPerMinute;
// Days from 1 January 1601 to 1 March 0000 of the proleptic Gregorian calendar, the origin of the
// day-number arithmetic below (eras of 400 years, each year starting on 1 March so that the leap
// day comes last).
constexpr std::int64_t daysFrom0000To1601 = 584694;

std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = year / 400; // years from 1601 on are never negative
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - daysFrom0000To1601;
}

} // namespace

CivilTime civilTime(Ticks moment) {
    const std::int64_t days = std::int64_t(moment / ticksPerDay) + daysFrom0000To1601;
    const std::int64_t era = days / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153; // from March
    const int month = int(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    const Ticks seconds = moment % ticksPerDay / ticksPerSecond;
    return {int(yearOfEra + era * 400 + (month <= 2)),
            month,
            int(dayOfYear - (153 * monthIndex + 2) / 5 + 1),
            int(seconds / 3600),
            int(seconds / 60 % 60),
            int(seconds % 60)};
}

Ticks ticksOf(const CivilTime& fields) {
    const std::int64_t days = daysFromCivil(fields.year, fields.month, fields.day);
    return Ticks(days) * ticksPerDay +
           Ticks(fields.hour * 3600 + fields.minute * 60 + fields.second) * ticksPerSecond;
}

bool isDue(Ticks reminder, Ticks now) {
    return reminder / ticksPerMinute <= now / ticksPerMinute;
}

void AnnouncedReminders::add(Ticks time, const std::uint8_t* id, std::size_t size) {
    Entry entry{time, std::vector<std::uint8_t>(id, id + size)};
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), entry);
    if (at == entries_.end() || *at != entry)
        entries_.insert(at, std::move(entry));
}

bool AnnouncedReminders::contains(Ticks time, const std::uint8_t* id, std::size_t size) const {
    const auto first = std::lower_bound(entries_.begin(), entries_.end(), time,
                                        [](const Entry& entry, Ticks t) { return entry.time < t; });
    for (auto it = first; it != entries_.end() && it->time == time; ++it)
        if (std::equal(it->id.begin(), it->id.end(), id, id + size))
            return true;
    return false;
}
