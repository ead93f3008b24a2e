// A VTIMEZONE: observances (standard and daylight time) with their onsets, the offset in force
// at a moment, and the conversion of wall-clock times of the zone to instants.
#pragma once

#include "content.h"
#include "recurrence.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace devkit::ical {

// Limits on the work a zone costs, whatever its file asks for: observances read (real zones
// have a few, a full history some dozens), onset dates per observance, and onsets expanded
// for one year of the zone. A zone past one is used with what was found within it.
inline constexpr std::size_t kMaxObservances = 100;
inline constexpr std::size_t kMaxOnsetDates = 1000;
inline constexpr int kMaxOnsetsPerYear = 2000;

struct Observance {
    bool daylight = false;
    int offsetFrom = 0;         // seconds east of Greenwich, before the onset
    int offsetTo = 0;           // and from the onset on
    std::int64_t startWall = 0; // first onset, wall-clock time in offsetFrom
    std::optional<RecurrenceRule> rule;
    std::vector<std::int64_t> onsets; // RDATE, wall-clock times in offsetFrom
};

// A moment of change between standard and summer time as Windows keeps it (a SYSTEMTIME of
// TIME_ZONE_INFORMATION): year 0 is a yearly rule, the `day`th (5: the last) `weekday` of
// `month`; another year, that date only. Month 0: the zone has no such change. The time of day
// is the wall-clock time before the change.
struct TransitionDate {
    int year = 0;
    int month = 0;
    int weekday = 0; // 0 = Sunday
    int day = 0;
    int hour = 0;
    int minute = 0;
};

// A zone's rules as Windows writes them into an appointment (PidLidTimeZoneStruct): biases in
// minutes west of Greenwich (UTC = local time + bias + the standard or daylight bias).
struct WindowsZoneRules {
    int bias = 0;
    int standardBias = 0;
    int daylightBias = 0;
    TransitionDate standardDate;
    TransitionDate daylightDate;
};

class TimeZone {
public:
    // A zone of a fixed offset (UTC is offset 0).
    static TimeZone fixed(std::string id, int offset);
    // Nothing when the component has no TZID or no usable observance.
    static std::optional<TimeZone> fromComponent(const Component& component);

    const std::string& id() const { return id_; }
    // Seconds east of Greenwich in force at the instant.
    int offsetAt(std::int64_t utc) const;
    // Seconds east of Greenwich of the zone's standard time at the instant, summer or not: the
    // offset that Windows names a zone by.
    int standardOffsetAt(std::int64_t utc) const;
    // The changes of the year (in standard time) of the instant, as Windows keeps them.
    WindowsZoneRules windowsRules(std::int64_t utc) const;
    // The instant of a wall-clock time. A time that the zone skips (the hour lost when summer
    // time begins) is read with the offset before the change; one that occurs twice (the hour
    // repeated when it ends), as its first occurrence.
    std::int64_t toUtc(std::int64_t wall) const;
    // Whether the zone's file asked for more than the limits above allow.
    bool pastLimits() const;

private:
    struct Year; // the offsets of one year, worked out once
    struct Years;
    void prepare();
    Year yearOf(int year) const;
    std::optional<std::int64_t> latestOnset(const Observance& observance, std::int64_t utc) const;

    std::string id_;
    std::vector<Observance> observances_;
    std::vector<int> offsets_; // every offset of the observances, ascending
    int earliestOffset_ = 0;   // in force before every onset
    bool pastLimits_ = false;  // while reading
    std::shared_ptr<Years> years_;
};

// A zone's description as Windows writes it into an appointment: the display name of its
// Windows zone, which carries the standard offset all year, when the TZID names one the kit
// knows (by its IANA or Windows name) with that offset, "(UTC+01:00) Amsterdam, Berlin, Bern,
// Rome, Stockholm, Vienna"; otherwise the offset in the same form and the TZID, "(UTC-03:00)
// America/Sao_Paulo". UTC itself is "(UTC) Coordinated Universal Time".
std::string describeZone(int standardOffset, const std::string& id);

} // namespace devkit::ical
