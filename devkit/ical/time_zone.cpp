#include "time_zone.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

namespace devkit::ical {

namespace {

constexpr std::size_t kYearsKept = 8;

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
    zone.id_ = id->value;
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
        for (const ContentLine* dates : child.findAll("RDATE"))
            for (const std::string& item : splitList(dates->value))
                if (auto date = parseDateTime(item)) {
                    if (observance.onsets.size() == kMaxOnsetDates) {
                        zone.pastLimits_ = true;
                        break;
                    }
                    observance.onsets.push_back(date->wall);
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
        for (std::int64_t wall : observance.onsets)
            consider(wall - observance.offsetFrom);
        if (!observance.rule) {
            consider(observance.startWall - observance.offsetFrom);
            continue;
        }
        const std::optional<DateTime> until = observance.rule->until;
        Recurrence onsets(*observance.rule, observance.startWall, [&](std::int64_t wall) {
            // UNTIL of a zone's rule is given in UTC (or, loosely, as a wall time).
            return wall - (until->kind == DateTime::Kind::utc ? observance.offsetFrom : 0) >
                   until->wall;
        });
        // A year's onsets are in the period before the one holding the year.
        onsets.skipTo(first + observance.offsetFrom - 366 * kSecondsPerDay);
        for (;;) {
            if (budget-- <= 0) {
                years_->pastLimits = true;
                break;
            }
            const auto wall = onsets.next();
            if (!wall || *wall - observance.offsetFrom >= end)
                break;
            consider(*wall - observance.offsetFrom);
        }
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

std::string describeZone(int offset, const std::string& name) {
    if (offset == 0)
        return "(GMT) " + name;
    const int magnitude = offset < 0 ? -offset : offset;
    char text[24];
    std::snprintf(text, sizeof text, "(GMT%c%02d:%02d) ", offset < 0 ? '-' : '+', magnitude / 3600,
                  magnitude / 60 % 60);
    return text + name;
}

} // namespace devkit::ical
