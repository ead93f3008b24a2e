#include "time_zone.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <string>

namespace devkit::ical {

namespace {

constexpr std::size_t kYearsKept = 8;

// Visits the onsets (instants) of an observance: its onset dates and first onset as they are,
// and those of its rule from a year before `from` up to `last`, while `budget` lasts. False
// when the budget ran out first.
template <typename Visit>
bool visitOnsets(const Observance& observance, std::int64_t from, std::int64_t last, int& budget,
                 Visit visit) {
    for (std::int64_t wall : observance.onsets)
        visit(wall - observance.offsetFrom);
    if (!observance.rule) {
        visit(observance.startWall - observance.offsetFrom);
        return true;
    }
    const std::optional<DateTime> until = observance.rule->until;
    Recurrence onsets(*observance.rule, observance.startWall, [&](std::int64_t wall) {
        // UNTIL of a zone's rule is given in UTC (or, loosely, as a wall time).
        return wall - (until->kind == DateTime::Kind::utc ? observance.offsetFrom : 0) >
               until->wall;
    });
    // The onsets of a moment are in the period before the one holding it.
    onsets.skipTo(from + observance.offsetFrom - 366 * kSecondsPerDay);
    for (;;) {
        if (budget-- <= 0)
            return false;
        const auto wall = onsets.next();
        if (!wall || *wall - observance.offsetFrom > last)
            return true;
        visit(*wall - observance.offsetFrom);
    }
}

} // namespace

// The offset in force as a UTC year begins, and each change within it, ascending.
struct TimeZone::Year {
    int year = 0;
    int base = 0;
    std::vector<std::pair<std::int64_t, int>> changes; // (instant, offset from then on)
};

// Years already worked out, shared by the copies of a zone (they never change).
struct TimeZone::Years {
    std::mutex lock;
    std::vector<Year> kept;
    std::size_t replace = 0;
    std::atomic<bool> pastLimits{false};
};

TimeZone TimeZone::fixed(std::string id, int offset) {
    TimeZone zone;
    zone.id_ = std::move(id);
    Observance only;
    only.offsetFrom = only.offsetTo = offset;
    only.startWall = daysFromCivil(1, 1, 1) * kSecondsPerDay;
    zone.observances_.push_back(only);
    zone.prepare();
    return zone;
}

std::optional<TimeZone> TimeZone::fromComponent(const Component& component) {
    TimeZone zone;
    const ContentLine* id = component.find("TZID");
    if (!id || id->value.empty())
        return std::nullopt;
    zone.id_ = std::string(id->value);
    for (const Component& child : component.children) {
        if (child.name != "STANDARD" && child.name != "DAYLIGHT")
            continue;
        Observance observance;
        observance.daylight = child.name == "DAYLIGHT";
        const ContentLine* start = child.find("DTSTART");
        const ContentLine* from = child.find("TZOFFSETFROM");
        const ContentLine* to = child.find("TZOFFSETTO");
        if (!start || !from || !to)
            continue;
        const auto startTime = parseDateTime(start->value);
        const auto offsetFrom = parseUtcOffset(from->value);
        const auto offsetTo = parseUtcOffset(to->value);
        if (!startTime || !offsetFrom || !offsetTo)
            continue;
        if (zone.observances_.size() == kMaxObservances) {
            zone.pastLimits_ = true;
            break;
        }
        observance.startWall = startTime->wall;
        observance.offsetFrom = *offsetFrom;
        observance.offsetTo = *offsetTo;
        if (const ContentLine* rule = child.find("RRULE"))
            observance.rule = parseRecurrenceRule(rule->value);
        for (const ContentLine& dates : child.properties) {
            if (dates.name != "RDATE")
                continue;
            forEachListItem(dates.value, [&](std::string_view item) {
                if (auto date = parseDateTime(item)) {
                    if (observance.onsets.size() == kMaxOnsetDates) {
                        zone.pastLimits_ = true;
                        return false;
                    }
                    observance.onsets.push_back(date->wall);
                }
                return true;
            });
        }
        zone.observances_.push_back(std::move(observance));
    }
    if (zone.observances_.empty())
        return std::nullopt;
    zone.prepare();
    return zone;
}

void TimeZone::prepare() {
    years_ = std::make_shared<Years>();
    years_->pastLimits = pastLimits_;
    for (const Observance& observance : observances_) {
        offsets_.push_back(observance.offsetFrom);
        offsets_.push_back(observance.offsetTo);
    }
    std::sort(offsets_.begin(), offsets_.end());
    offsets_.erase(std::unique(offsets_.begin(), offsets_.end()), offsets_.end());
    // Before every onset: the offset the earliest observance changes from.
    const Observance* earliest = &observances_.front();
    for (const Observance& observance : observances_)
        if (observance.startWall - observance.offsetFrom <
            earliest->startWall - earliest->offsetFrom)
            earliest = &observance;
    earliestOffset_ = earliest->offsetFrom;
}

bool TimeZone::pastLimits() const {
    return years_->pastLimits;
}

// Every onset of every observance from a year before `year` to its end; the latest before the
// year gives the offset it begins with. An observance may expand to many onsets (a rule of
// FREQ=SECONDLY): the year is worked out with those found within the limit.
TimeZone::Year TimeZone::yearOf(int year) const {
    Year result;
    result.year = year;
    const std::int64_t first = daysFromCivil(year, 1, 1) * kSecondsPerDay;
    const std::int64_t end = daysFromCivil(year + 1, 1, 1) * kSecondsPerDay;
    // The latest onset before the year, and the observance it belongs to; the first
    // observance wins a tie.
    std::optional<std::int64_t> latest;
    int latestOffset = earliestOffset_;
    std::vector<std::pair<std::int64_t, int>> changes; // with the observance's index
    int budget = kMaxOnsetsPerYear;
    for (std::size_t index = 0; index < observances_.size(); ++index) {
        const Observance& observance = observances_[index];
        auto consider = [&](std::int64_t onset) {
            if (onset < first) {
                if (!latest || onset > *latest) {
                    latest = onset;
                    latestOffset = observance.offsetTo;
                }
            } else if (onset < end) {
                changes.push_back({onset, int(index)});
            }
        };
        if (!visitOnsets(observance, first, end - 1, budget, consider))
            years_->pastLimits = true;
    }
    result.base = latestOffset;
    std::sort(changes.begin(), changes.end());
    for (const auto& [at, index] : changes)
        if (result.changes.empty() || result.changes.back().first != at)
            result.changes.push_back({at, observances_[std::size_t(index)].offsetTo});
    return result;
}

int TimeZone::offsetAt(std::int64_t utc) const {
    const int year = civilFromDays(dayOf(utc)).year;
    std::lock_guard guard(years_->lock);
    auto found = std::find_if(years_->kept.begin(), years_->kept.end(),
                              [&](const Year& y) { return y.year == year; });
    if (found == years_->kept.end()) {
        if (years_->kept.size() < kYearsKept) {
            years_->kept.push_back(yearOf(year));
            found = years_->kept.end() - 1;
        } else {
            found = years_->kept.begin() + std::ptrdiff_t(years_->replace);
            *found = yearOf(year);
            years_->replace = (years_->replace + 1) % kYearsKept;
        }
    }
    const auto& changes = found->changes;
    auto after = std::upper_bound(changes.begin(), changes.end(), utc,
                                  [](std::int64_t at, const auto& c) { return at < c.first; });
    return after == changes.begin() ? found->base : std::prev(after)->second;
}

std::int64_t TimeZone::toUtc(std::int64_t wall) const {
    // The largest consistent offset gives the earliest instant: the first of a repeated hour.
    for (auto it = offsets_.rbegin(); it != offsets_.rend(); ++it)
        if (offsetAt(wall - *it) == *it)
            return wall - *it;
    // Skipped: the offset in force just before the change.
    return wall - offsetAt(wall - offsets_.back());
}

// The latest onset of an observance at or before the instant, among those found within the
// limit of a year's onsets.
std::optional<std::int64_t> TimeZone::latestOnset(const Observance& observance,
                                                  std::int64_t utc) const {
    std::optional<std::int64_t> latest;
    auto consider = [&](std::int64_t onset) {
        if (onset <= utc && (!latest || onset > *latest))
            latest = onset;
    };
    int budget = kMaxOnsetsPerYear;
    if (!visitOnsets(observance, utc, utc, budget, consider))
        years_->pastLimits = true;
    return latest;
}

int TimeZone::standardOffsetAt(std::int64_t utc) const {
    const Observance* current = nullptr;
    std::int64_t currentOnset = 0;
    for (const Observance& observance : observances_) {
        if (observance.daylight)
            continue;
        const auto onset = latestOnset(observance, utc);
        if (onset && (!current || *onset > currentOnset)) {
            current = &observance;
            currentOnset = *onset;
        }
    }
    if (current)
        return current->offsetTo;
    // Before the first standard onset, or a zone of summer time only: the smallest offset.
    int smallest = offsetAt(utc);
    for (const Observance& observance : observances_)
        smallest = std::min({smallest, observance.offsetFrom, observance.offsetTo});
    return smallest;
}

namespace {

// The change at `onset` (an instant) of an observance, as Windows writes it.
TransitionDate transitionOf(const Observance& observance, std::int64_t onset) {
    const std::int64_t wall = onset + observance.offsetFrom;
    const CivilDate date = civilFromDays(dayOf(wall));
    const std::int64_t time = secondOfDay(wall);
    TransitionDate at{date.year, date.month,       weekdayOfDays(dayOf(wall)),
                      date.day,  int(time / 3600), int(time / 60 % 60)};
    // A yearly rule on a weekday of a month is written as one: every year alike.
    const auto& rule = observance.rule;
    if (rule && rule->frequency == Frequency::yearly && rule->interval == 1 &&
        rule->byDay.size() == 1 && rule->byDay[0].ordinal != 0 && rule->byMonthDay.empty()) {
        const int ordinal = rule->byDay[0].ordinal;
        at.year = 0;
        at.weekday = rule->byDay[0].weekday;
        at.day = ordinal < 0 || ordinal > 4 ? 5 : ordinal;
    }
    return at;
}

} // namespace

WindowsZoneRules TimeZone::windowsRules(std::int64_t utc) const {
    const int standard = standardOffsetAt(utc);
    WindowsZoneRules rules;
    rules.bias = -standard / 60;
    // The year in standard time, and the latest change of each kind up to its end.
    const int year = civilFromDays(dayOf(utc + standard)).year;
    const std::int64_t yearStart = daysFromCivil(year, 1, 1) * kSecondsPerDay - standard;
    const std::int64_t yearEnd = daysFromCivil(year + 1, 1, 1) * kSecondsPerDay - standard - 1;
    const Observance* summer = nullptr;
    const Observance* winter = nullptr;
    std::int64_t summerOnset = 0, winterOnset = 0;
    for (const Observance& observance : observances_) {
        const auto onset = latestOnset(observance, yearEnd);
        if (!onset || *onset < yearStart || observance.offsetFrom == observance.offsetTo)
            continue;
        if (observance.daylight && !summer) {
            summer = &observance;
            summerOnset = *onset;
        } else if (!observance.daylight && !winter) {
            winter = &observance;
            winterOnset = *onset;
        }
    }
    if (!summer || !winter)
        return rules; // no summer time that year
    rules.daylightBias = -(summer->offsetTo - standard) / 60;
    rules.standardBias = -(winter->offsetTo - standard) / 60;
    rules.daylightDate = transitionOf(*summer, summerOnset);
    rules.standardDate = transitionOf(*winter, winterOnset);
    return rules;
}

namespace {

struct WindowsZone {
    const char* displayName;
    int standardMinutes;
    std::vector<const char*> ids; // IANA names and the Windows zone's own
};

const std::vector<WindowsZone>& windowsZones() {
    static const std::vector<WindowsZone> zones = {
        {"(UTC) Coordinated Universal Time", 0, {"UTC", "Etc/UTC", "Etc/GMT"}},
        {"(UTC+00:00) Dublin, Edinburgh, Lisbon, London",
         0,
         {"GMT Standard Time", "Europe/London", "Europe/Lisbon", "Europe/Dublin"}},
        {"(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna",
         60,
         {"W. Europe Standard Time", "Europe/Berlin", "Europe/Amsterdam", "Europe/Rome",
          "Europe/Stockholm", "Europe/Vienna", "Europe/Zurich"}},
        {"(UTC+01:00) Brussels, Copenhagen, Madrid, Paris",
         60,
         {"Romance Standard Time", "Europe/Paris", "Europe/Madrid", "Europe/Brussels",
          "Europe/Copenhagen"}},
        {"(UTC+01:00) Sarajevo, Skopje, Warsaw, Zagreb",
         60,
         {"Central European Standard Time", "Europe/Warsaw"}},
        {"(UTC+02:00) Athens, Bucharest", 120, {"GTB Standard Time", "Europe/Athens"}},
        {"(UTC+02:00) Helsinki, Kyiv, Riga, Sofia, Tallinn, Vilnius",
         120,
         {"FLE Standard Time", "Europe/Helsinki"}},
        {"(UTC-03:30) Newfoundland", -210, {"Newfoundland Standard Time", "America/St_Johns"}},
        {"(UTC-04:00) Atlantic Time (Canada)", -240, {"Atlantic Standard Time", "America/Halifax"}},
        {"(UTC-05:00) Eastern Time (US & Canada)",
         -300,
         {"Eastern Standard Time", "America/New_York"}},
        {"(UTC-06:00) Central Time (US & Canada)",
         -360,
         {"Central Standard Time", "America/Chicago"}},
        {"(UTC-07:00) Mountain Time (US & Canada)",
         -420,
         {"Mountain Standard Time", "America/Denver"}},
        {"(UTC-08:00) Pacific Time (US & Canada)",
         -480,
         {"Pacific Standard Time", "America/Los_Angeles"}},
        {"(UTC+05:30) Chennai, Kolkata, Mumbai, New Delhi",
         330,
         {"India Standard Time", "Asia/Kolkata", "Asia/Calcutta"}},
        {"(UTC+09:00) Osaka, Sapporo, Tokyo", 540, {"Tokyo Standard Time", "Asia/Tokyo"}},
        {"(UTC+10:00) Canberra, Melbourne, Sydney",
         600,
         {"AUS Eastern Standard Time", "Australia/Sydney", "Australia/Melbourne"}},
    };
    return zones;
}

bool sameName(const char* a, const std::string& b) {
    const std::size_t length = std::char_traits<char>::length(a);
    if (length != b.size())
        return false;
    for (std::size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

std::string describeZone(int standardOffset, const std::string& id) {
    for (const WindowsZone& zone : windowsZones())
        if (zone.standardMinutes * 60 == standardOffset)
            for (const char* name : zone.ids)
                if (sameName(name, id))
                    return zone.displayName;
    const int magnitude = standardOffset < 0 ? -standardOffset : standardOffset;
    char text[24];
    std::snprintf(text, sizeof text, "(UTC%c%02d:%02d) ", standardOffset < 0 ? '-' : '+',
                  magnitude / 3600, magnitude / 60 % 60);
    return text + id;
}

} // namespace devkit::ical
