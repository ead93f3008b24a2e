#include "appointment.h"

#include "ascii.h"
#include "utf8.h"

#include <algorithm>

namespace devkit::ical {

namespace {

constexpr std::int64_t kDstMargin = 2 * 3600;
// Of a subject or location, the part read.
constexpr std::size_t kMaxRawTextBytes = 16 * kMaxTextBytes;
// Time zones read from one file (a file names a few).
constexpr std::size_t kMaxZones = 100;

// What an appointment is read from; the rest of a file is checked and skipped.
constexpr std::string_view kComponents[] = {"VCALENDAR", "VEVENT",   "VALARM",
                                            "VTIMEZONE", "STANDARD", "DAYLIGHT"};
constexpr std::string_view kProperties[] = {
    "UID",    "DTSTART", "DTEND",        "DURATION",  "RECURRENCE-ID", "RRULE",
    "EXDATE", "RDATE",   "SUMMARY",      "LOCATION",  "TRIGGER",       "ACTION",
    "REPEAT", "TZID",    "TZOFFSETFROM", "TZOFFSETTO"};

bool isUtcName(std::string_view id) {
    return equalsIgnoreAsciiCase(id, "UTC") || equalsIgnoreAsciiCase(id, "GMT") ||
           equalsIgnoreAsciiCase(id, "Etc/UTC") || equalsIgnoreAsciiCase(id, "Etc/GMT") ||
           equalsIgnoreAsciiCase(id, "Z");
}

// Subjects and locations are shown on one line: line breaks and other controls become spaces,
// runs of spaces one, and the text is cut to a bounded length.
std::string singleLine(std::string_view value) {
    // What lies beyond is not shown: only runs of blanks could bring it into view.
    value = value.substr(0, kMaxRawTextBytes);
    const std::string text = sanitizeUtf8(unescapeText(value));
    std::string out;
    for (char c : text) {
        const bool blank = static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == ' ';
        if (blank) {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    out.resize(utf8PrefixLength(out, kMaxTextBytes));
    return out;
}

std::optional<DateTime> readDateTime(const ContentLine& line,
                                     const std::vector<std::shared_ptr<TimeZone>>& zones,
                                     std::string_view value) {
    auto parsed = parseDateTime(value);
    if (!parsed)
        return std::nullopt;
    const std::string_view zone = line.parameter("TZID");
    if (parsed->kind == DateTime::Kind::floating && !zone.empty()) {
        if (isUtcName(zone)) {
            parsed->kind = DateTime::Kind::utc;
        } else if (std::any_of(zones.begin(), zones.end(),
                               [&](const auto& z) { return z->id() == zone; })) {
            parsed->kind = DateTime::Kind::zoned;
            parsed->zone = std::string(zone);
        } // a zone the file does not describe: read as the user's own time
    }
    return parsed;
}

std::optional<Alarm> readAlarm(const Component& component,
                               const std::vector<std::shared_ptr<TimeZone>>& zones) {
    const ContentLine* trigger = component.find("TRIGGER");
    if (!trigger)
        return std::nullopt;
    Alarm alarm;
    if (const ContentLine* action = component.find("ACTION"))
        alarm.off = equalsIgnoreAsciiCase(action->value, "NONE");
    if (equalsIgnoreAsciiCase(trigger->parameter("VALUE"), "DATE-TIME")) {
        alarm.absolute = readDateTime(*trigger, zones, trigger->value);
        if (!alarm.absolute)
            return std::nullopt;
    } else {
        const auto offset = parseDuration(trigger->value);
        if (!offset) {
            // Some writers leave out VALUE=DATE-TIME.
            alarm.absolute = readDateTime(*trigger, zones, trigger->value);
            if (!alarm.absolute)
                return std::nullopt;
            return alarm;
        }
        alarm.offset = *offset;
        alarm.fromEnd = equalsIgnoreAsciiCase(trigger->parameter("RELATED"), "END");
    }
    const ContentLine* repeat = component.find("REPEAT");
    const ContentLine* every = component.find("DURATION");
    if (repeat && every) {
        const auto interval = parseDuration(every->value);
        int count = 0;
        for (char c : repeat->value) {
            if (!isAsciiDigit(c) || count > 1000)
                break;
            count = count * 10 + (c - '0');
        }
        if (interval && interval->totalSeconds() > 0) {
            alarm.repeat = std::min(count, 1000);
            alarm.every = *interval;
        }
    }
    return alarm;
}

std::optional<Event> readEvent(const Component& component,
                               const std::vector<std::shared_ptr<TimeZone>>& zones,
                               std::string& error, bool& pastLimits) {
    Event event;
    const ContentLine* start = component.find("DTSTART");
    if (!start) {
        error = "appointment without DTSTART";
        return std::nullopt;
    }
    auto startTime = readDateTime(*start, zones, start->value);
    if (!startTime) {
        error = "unreadable DTSTART " + std::string(start->value);
        return std::nullopt;
    }
    event.start = *startTime;
    if (const ContentLine* uid = component.find("UID"))
        event.uid = std::string(uid->value);
    if (const ContentLine* summary = component.find("SUMMARY"))
        event.summary = singleLine(summary->value);
    if (const ContentLine* location = component.find("LOCATION"))
        event.location = singleLine(location->value);
    if (const ContentLine* end = component.find("DTEND"))
        event.end = readDateTime(*end, zones, end->value);
    if (const ContentLine* duration = component.find("DURATION"))
        event.duration = parseDuration(duration->value);
    if (const ContentLine* id = component.find("RECURRENCE-ID")) {
        event.recurrenceId = readDateTime(*id, zones, id->value);
        if (!event.recurrenceId) {
            error = "unreadable RECURRENCE-ID " + std::string(id->value);
            return std::nullopt;
        }
    }
    if (const ContentLine* rule = component.find("RRULE")) {
        event.rule = parseRecurrenceRule(rule->value);
        if (!event.rule) {
            error = "unreadable RRULE " + std::string(rule->value);
            return std::nullopt;
        }
    }
    bool full = false;
    for (const ContentLine& line : component.properties) {
        if (line.name != "EXDATE")
            continue;
        forEachListItem(line.value, [&](std::string_view item) {
            if (auto date = readDateTime(line, zones, item)) {
                if (event.exceptions.size() == kMaxExceptions) {
                    full = pastLimits = true;
                    return false;
                }
                event.exceptions.push_back(*date);
            }
            return true;
        });
        if (full)
            break;
    }
    for (const Component& child : component.children)
        if (child.name == "VALARM")
            if (auto alarm = readAlarm(child, zones)) {
                if (event.alarms.size() == kMaxAlarms) {
                    pastLimits = true;
                    break;
                }
                event.alarms.push_back(std::move(*alarm));
            }
    return event;
}

} // namespace

std::optional<Appointment> Appointment::parse(std::string_view text, std::string& error) {
    static constexpr Selection selection{kComponents, kProperties};
    Document document;
    if (!document.parse(text, error, &selection))
        return std::nullopt;
    bool pastLimits = document.truncated();
    // The calendar's components; a bare VEVENT is taken as well.
    std::vector<const Component*> parts;
    for (const Component& component : document.components()) {
        if (component.name == "VCALENDAR")
            for (const Component& child : component.children)
                parts.push_back(&child);
        else
            parts.push_back(&component);
    }
    Appointment appointment;
    for (const Component* part : parts)
        if (part->name == "VTIMEZONE") {
            if (appointment.zones_.size() == kMaxZones) {
                pastLimits = true;
                break;
            }
            if (auto zone = TimeZone::fromComponent(*part))
                appointment.zones_.push_back(std::make_shared<TimeZone>(std::move(*zone)));
        }
    // The appointment is the first VEVENT that is not a moved occurrence (or, when all are,
    // the first); of the others only its own moved occurrences are read.
    const Component* master = nullptr;
    for (bool moved : {false, true})
        for (const Component* part : parts)
            if (!master && part->name == "VEVENT" && (moved || !part->find("RECURRENCE-ID")))
                master = part;
    if (!master) {
        error = "no appointment (VEVENT)";
        return std::nullopt;
    }
    auto event = readEvent(*master, appointment.zones_, error, pastLimits);
    if (!event)
        return std::nullopt;
    appointment.master_ = std::move(*event);
    appointment.master_.recurrenceId.reset();
    for (const Component* part : parts) {
        if (part == master || part->name != "VEVENT" || !part->find("RECURRENCE-ID"))
            continue;
        const ContentLine* uid = part->find("UID");
        if ((uid ? uid->value : std::string_view()) != appointment.master_.uid)
            continue;
        if (appointment.overrides_.size() == kMaxOverrides) {
            pastLimits = true;
            break;
        }
        auto moved = readEvent(*part, appointment.zones_, error, pastLimits);
        if (!moved)
            return std::nullopt;
        appointment.overrides_.push_back(std::move(*moved));
    }
    *appointment.pastLimits_ = pastLimits;
    return appointment;
}

bool Appointment::pastLimits() const {
    return *pastLimits_ || std::any_of(zones_.begin(), zones_.end(),
                                       [](const auto& zone) { return zone->pastLimits(); });
}

bool Appointment::hasAlarms() const {
    if (!master_.alarms.empty())
        return true;
    return std::any_of(overrides_.begin(), overrides_.end(),
                       [](const Event& e) { return !e.alarms.empty(); });
}

const TimeZone* Appointment::zoneOf(const Event& event) const {
    if (event.start.kind != DateTime::Kind::zoned)
        return nullptr;
    for (const auto& zone : zones_)
        if (zone->id() == event.start.zone)
            return zone.get();
    return nullptr;
}

std::int64_t Appointment::toUtc(const DateTime& value) const {
    switch (value.kind) {
    case DateTime::Kind::utc:
        return value.wall;
    case DateTime::Kind::zoned:
        for (const auto& zone : zones_)
            if (zone->id() == value.zone)
                return zone->toUtc(value.wall);
        break;
    default:
        break;
    }
    return localToUtc_ ? localToUtc_(value.wall) : value.wall;
}

std::optional<std::string> Appointment::zoneDescription(const Event& event,
                                                        std::int64_t moment) const {
    if (event.start.kind == DateTime::Kind::utc)
        return describeZone(0, "UTC");
    if (const TimeZone* zone = zoneOf(event))
        return describeZone(zone->standardOffsetAt(moment), zone->id());
    return std::nullopt;
}

std::optional<WindowsZoneRules> Appointment::zoneRules(const Event& event,
                                                       std::int64_t moment) const {
    if (event.start.kind == DateTime::Kind::utc)
        return WindowsZoneRules{};
    if (const TimeZone* zone = zoneOf(event))
        return zone->windowsRules(moment);
    return std::nullopt;
}

std::int64_t Appointment::endOf(const Event& event, std::int64_t startWall,
                                std::int64_t startUtc) const {
    DateTime at = event.start;
    if (event.end) {
        if (event.end->kind == event.start.kind && event.end->zone == event.start.zone) {
            at.wall = startWall + (event.end->wall - event.start.wall); // same length on the clock
            return toUtc(at);
        }
        return startUtc + (toUtc(*event.end) - toUtc(event.start));
    }
    if (event.duration) {
        at.wall = startWall + event.duration->days * kSecondsPerDay;
        return toUtc(at) + event.duration->seconds;
    }
    if (event.start.isDate()) {
        at.wall = startWall + kSecondsPerDay;
        return toUtc(at);
    }
    return startUtc;
}

namespace {

// Of an alarm's repeats from `at`, the last before `moment` and the first at or after it.
void repeatsAround(const Alarm& alarm, std::int64_t at, std::int64_t moment,
                   const std::function<void(std::int64_t)>& visit) {
    const std::int64_t every = alarm.every.totalSeconds();
    if (alarm.repeat <= 0 || every <= 0) {
        visit(at);
        return;
    }
    // The index of the first repeat at or after the moment.
    const std::int64_t first = moment <= at ? 0 : floorDiv(moment - at - 1, every) + 1;
    if (first <= alarm.repeat)
        visit(at + first * every);
    if (const std::int64_t last = std::min<std::int64_t>(first - 1, alarm.repeat); last >= 0)
        visit(at + last * every);
}

} // namespace

void Appointment::alarmsOf(const Event& event, std::int64_t startWall, std::int64_t startUtc,
                           bool absolute, std::int64_t moment,
                           const std::function<void(const AlarmTime&)>& visit) const {
    std::optional<std::int64_t> endUtc;
    for (const Alarm& alarm : event.alarms) {
        std::int64_t at;
        if (alarm.absolute) {
            if (!absolute)
                continue;
            at = toUtc(*alarm.absolute);
        } else {
            if (alarm.fromEnd && !endUtc)
                endUtc = endOf(event, startWall, startUtc);
            at = (alarm.fromEnd ? *endUtc : startUtc) + alarm.offset.totalSeconds();
        }
        repeatsAround(alarm, at, moment, [&](std::int64_t instant) {
            visit({instant, startUtc, &event, alarm.off});
        });
    }
}

bool Appointment::sameOccurrence(const DateTime& value, std::int64_t wall, std::int64_t utc) const {
    if (value.isDate())
        return dayOf(value.wall) == dayOf(wall);
    return toUtc(value) == utc;
}

namespace {

// Bounds of (alarm - start) over the relative alarms of an event, with room for summer time.
struct Leads {
    bool any = false;
    std::int64_t low = 0, high = 0;
};

} // namespace

std::optional<AlarmTime> Appointment::nextAlarm(std::int64_t moment) const {
    std::optional<AlarmTime> best;
    auto consider = [&](const AlarmTime& alarm) {
        if (alarm.at >= moment && (!best || alarm.at < best->at))
            best = alarm;
    };
    if (singleAlarms(moment, consider))
        return best;
    const std::int64_t masterStart = toUtc(master_.start);
    // Absolute alarms ring once, whatever the rule.
    for (const Alarm& alarm : master_.alarms)
        if (alarm.absolute)
            repeatsAround(alarm, toUtc(*alarm.absolute), moment, [&](std::int64_t instant) {
                consider({instant, masterStart, &master_, alarm.off});
            });

    Leads leads;
    const std::int64_t length = endOf(master_, master_.start.wall, masterStart) - masterStart;
    // Summer time may move an occurrence's alarms against its wall-clock time; not in UTC.
    const std::int64_t dstMargin = master_.start.kind == DateTime::Kind::utc ? 0 : kDstMargin;
    for (const Alarm& alarm : master_.alarms) {
        if (alarm.absolute)
            continue;
        const std::int64_t base = (alarm.fromEnd ? length : 0) + alarm.offset.totalSeconds();
        const std::int64_t low = base - dstMargin;
        const std::int64_t high = base + alarm.repeat * alarm.every.totalSeconds() + dstMargin;
        leads.low = leads.any ? std::min(leads.low, low) : low;
        leads.high = leads.any ? std::max(leads.high, high) : high;
        leads.any = true;
    }
    if (!leads.any)
        return best;

    Recurrence occurrences = recurrenceOf(master_);
    // Occurrences are wall-clock times: the zone's offset now tells how far to skip.
    const std::int64_t offset = moment - occurrenceStart(moment);
    occurrences.skipTo(moment - leads.high + offset - dstMargin);
    const std::int64_t work = occurrenceWork();
    for (std::int64_t spent = 0;;) {
        if (spent + occurrences.periodsExpanded() > kMaxSearchWork) {
            *pastLimits_ = true;
            break;
        }
        const auto wall = occurrences.next();
        if (!wall)
            break;
        const std::int64_t start = occurrenceStart(*wall);
        if (best && start + leads.low > best->at)
            break;
        if (start + leads.high < moment)
            continue;
        spent += work;
        if (!isReplaced(*wall, start))
            alarmsOf(master_, *wall, start, false, moment, consider);
    }
    return best;
}

std::optional<AlarmTime> Appointment::lastAlarmBefore(std::int64_t moment) const {
    std::optional<AlarmTime> best;
    auto consider = [&](const AlarmTime& alarm) {
        if (alarm.at < moment && (!best || alarm.at > best->at))
            best = alarm;
    };
    if (singleAlarms(moment, consider))
        return best;
    // The first occurrence, with the absolute alarms.
    alarmsOf(master_, master_.start.wall, toUtc(master_.start), true, moment, consider);
    Recurrence occurrences = recurrenceOf(master_);
    occurrences.next(); // the first occurrence, done above
    // Without a bound, occurrences a year and more before the moment do not matter.
    occurrences.skipTo(moment - 400 * kSecondsPerDay);
    const std::int64_t work = occurrenceWork();
    for (std::int64_t spent = 0;; spent += work) {
        if (spent + occurrences.periodsExpanded() > kMaxSearchWork) {
            *pastLimits_ = true;
            break;
        }
        const auto wall = occurrences.next();
        if (!wall)
            break;
        const std::int64_t start = occurrenceStart(*wall);
        if (start - kSecondsPerDay * 366 > moment)
            break;
        if (!isReplaced(*wall, start))
            alarmsOf(master_, *wall, start, false, moment, consider);
    }
    return best;
}

std::int64_t Appointment::occurrenceWork() const {
    return 1 + std::int64_t(master_.alarms.size() + master_.exceptions.size() + overrides_.size());
}

bool Appointment::singleAlarms(std::int64_t moment,
                               const std::function<void(const AlarmTime&)>& visit) const {
    for (const Event& moved : overrides_)
        alarmsOf(moved, moved.start.wall, toUtc(moved.start), true, moment, visit);
    if (master_.rule)
        return false;
    alarmsOf(master_, master_.start.wall, toUtc(master_.start), true, moment, visit);
    return true;
}

std::int64_t Appointment::occurrenceStart(std::int64_t wall) const {
    DateTime at = master_.start;
    at.wall = wall;
    return toUtc(at);
}

Recurrence Appointment::recurrenceOf(const Event& event) const {
    const std::optional<DateTime> until = event.rule->until;
    const DateTime start = event.start;
    const std::int64_t untilUtc = until ? toUtc(*until) : 0; // once, not for every occurrence
    return Recurrence(*event.rule, start.wall, [this, until, start, untilUtc](std::int64_t wall) {
        if (until->isDate())
            return dayOf(wall) > dayOf(until->wall);
        if (until->kind == DateTime::Kind::floating)
            return wall > until->wall;
        DateTime at = start;
        at.wall = wall;
        return toUtc(at) > untilUtc;
    });
}

bool Appointment::isReplaced(std::int64_t wall, std::int64_t start) const {
    for (const DateTime& exception : master_.exceptions)
        if (sameOccurrence(exception, wall, start))
            return true;
    for (const Event& moved : overrides_)
        if (sameOccurrence(*moved.recurrenceId, wall, start))
            return true;
    return false;
}

} // namespace devkit::ical
