#include "time_zone.h"

#include <algorithm>
#include <cstdio>

namespace devkit::ical {

namespace {

constexpr int kMaxOnsetsScanned = 20000;

} // namespace

TimeZone TimeZone::fixed(std::string id, int offset) {
    TimeZone zone;
    zone.id_ = std::move(id);
    Observance only;
    only.offsetFrom = only.offsetTo = offset;
    only.startWall = daysFromCivil(1, 1, 1) * kSecondsPerDay;
    zone.observances_.push_back(only);
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
        observance.startWall = startTime->wall;
        observance.offsetFrom = *offsetFrom;
        observance.offsetTo = *offsetTo;
        if (const ContentLine* rule = child.find("RRULE"))
            observance.rule = parseRecurrenceRule(rule->value);
        for (const ContentLine* dates : child.findAll("RDATE"))
            for (const std::string& item : splitList(dates->value))
                if (auto date = parseDateTime(item))
                    observance.onsets.push_back(date->wall);
        zone.observances_.push_back(std::move(observance));
    }
    if (zone.observances_.empty())
        return std::nullopt;
    return zone;
}

std::optional<std::int64_t> TimeZone::latestOnset(const Observance& observance,
                                                  std::int64_t utc) const {
    std::optional<std::int64_t> latest;
    auto consider = [&](std::int64_t onset) {
        if (onset <= utc && (!latest || onset > *latest))
            latest = onset;
    };
    for (std::int64_t wall : observance.onsets)
        consider(wall - observance.offsetFrom);
    if (!observance.rule) {
        consider(observance.startWall - observance.offsetFrom);
        return latest;
    }
    const std::optional<DateTime> until = observance.rule->until;
    Recurrence onsets(*observance.rule, observance.startWall, [&](std::int64_t wall) {
        // UNTIL of a zone's rule is given in UTC (or, loosely, as a wall time).
        return wall - (until->kind == DateTime::Kind::utc ? observance.offsetFrom : 0) >
               until->wall;
    });
    // A year's onsets are in the period before the one holding the moment.
    onsets.skipTo(utc + observance.offsetFrom - 366 * kSecondsPerDay);
    for (int i = 0; i < kMaxOnsetsScanned; ++i) {
        const auto wall = onsets.next();
        if (!wall || *wall - observance.offsetFrom > utc)
            break;
        consider(*wall - observance.offsetFrom);
    }
    return latest;
}

int TimeZone::offsetAt(std::int64_t utc) const {
    const Observance* current = nullptr;
    std::int64_t currentOnset = 0;
    for (const Observance& observance : observances_) {
        const auto onset = latestOnset(observance, utc);
        if (onset && (!current || *onset > currentOnset)) {
            current = &observance;
            currentOnset = *onset;
        }
    }
    if (current)
        return current->offsetTo;
    // Before every onset: the offset the earliest observance changes from.
    const Observance* earliest = &observances_.front();
    for (const Observance& observance : observances_)
        if (observance.startWall - observance.offsetFrom <
            earliest->startWall - earliest->offsetFrom)
            earliest = &observance;
    return earliest->offsetFrom;
}

std::int64_t TimeZone::toUtc(std::int64_t wall) const {
    std::vector<int> offsets;
    for (const Observance& observance : observances_) {
        offsets.push_back(observance.offsetFrom);
        offsets.push_back(observance.offsetTo);
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    // The largest consistent offset gives the earliest instant: the first of a repeated hour.
    for (auto it = offsets.rbegin(); it != offsets.rend(); ++it)
        if (offsetAt(wall - *it) == *it)
            return wall - *it;
    // Skipped: the offset in force just before the change.
    return wall - offsetAt(wall - offsets.back());
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
