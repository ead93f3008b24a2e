// One calendar item read from an iCalendar file: its appointment (a VEVENT), the occurrences
// of a recurring one with their exceptions and moved occurrences, and its alarms.
#pragma once

#include "ical_time.h"
#include "recurrence.h"
#include "time_zone.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devkit::ical {

struct Alarm {
    std::optional<DateTime> absolute; // TRIGGER;VALUE=DATE-TIME; otherwise relative:
    Duration offset;                  // from the start, or from the end
    bool fromEnd = false;
    int repeat = 0; // further alarms, `every` apart
    Duration every;
    bool off = false; // ACTION:NONE: the time is kept, the reminder is switched off
};

// A VEVENT: the appointment itself, or one moved or changed occurrence of it.
struct Event {
    std::string uid;
    std::string summary;  // single line, valid UTF-8
    std::string location; // single line, valid UTF-8
    DateTime start;
    std::optional<DateTime> end;
    std::optional<Duration> duration;
    std::optional<DateTime> recurrenceId;
    std::optional<RecurrenceRule> rule;
    std::vector<DateTime> exceptions; // EXDATE
    std::vector<Alarm> alarms;
};

// An alarm of one occurrence.
struct AlarmTime {
    std::int64_t at;    // instant of the alarm
    std::int64_t start; // instant the occurrence starts
    const Event* event; // the appointment, or the override that describes the occurrence
    bool off = false;   // an alarm switched off (ACTION:NONE)
};

// Limits on the work spent on one item, whatever its file asks for: alarms, exceptions and
// moved occurrences read, and the work of one search for an alarm (an occurrence examined
// costs one, and one more for each of its alarms, exceptions and moved occurrences). An item
// past a limit is served with what was found within it; see pastLimits().
inline constexpr std::int64_t kMaxSearchWork = 20000;
inline constexpr std::size_t kMaxAlarms = 100;
inline constexpr std::size_t kMaxExceptions = 1000;
inline constexpr std::size_t kMaxOverrides = 1000;
inline constexpr std::size_t kMaxTextBytes = 4096;

class Appointment {
public:
    // Reads the first appointment of a file and the overrides that share its UID. Fails, with
    // a reason, when the file is not iCalendar or holds no appointment with a usable start.
    static std::optional<Appointment> parse(std::string_view text, std::string& error);

    // Floating times and dates are wall-clock times of the user's zone; without this they are
    // read as UTC.
    void setLocalZone(std::function<std::int64_t(std::int64_t wall)> toUtc) {
        localToUtc_ = std::move(toUtc);
    }

    // Whether the file asked for more work than the limits allow, in what it holds or in a
    // search made so far.
    bool pastLimits() const;

    const Event& event() const { return master_; }
    const std::vector<Event>& overrides() const { return overrides_; }
    bool hasAlarms() const;

    // The earliest alarm at or after `moment`, over every occurrence.
    std::optional<AlarmTime> nextAlarm(std::int64_t moment) const;
    // The latest alarm before `moment`.
    std::optional<AlarmTime> lastAlarmBefore(std::int64_t moment) const;

    std::int64_t toUtc(const DateTime& value) const;
    // The zone of an event's start: nothing for floating times and dates.
    const TimeZone* zoneOf(const Event& event) const;
    // The zone's description as Windows writes it (describeZone), with its standard offset at
    // `moment`; nothing for floating times and dates.
    std::optional<std::string> zoneDescription(const Event& event, std::int64_t moment) const;
    // The zone's rules as Windows writes them, for the year of `moment`; nothing for floating
    // times and dates.
    std::optional<WindowsZoneRules> zoneRules(const Event& event, std::int64_t moment) const;

private:
    // The alarms of one occurrence: of each alarm's repeats, the last before `moment` and the
    // first at or after it.
    void alarmsOf(const Event& event, std::int64_t startWall, std::int64_t startUtc, bool absolute,
                  std::int64_t moment, const std::function<void(const AlarmTime&)>& visit) const;
    std::int64_t endOf(const Event& event, std::int64_t startWall, std::int64_t startUtc) const;
    bool sameOccurrence(const DateTime& value, std::int64_t wall, std::int64_t utc) const;
    // An occurrence of the appointment that an EXDATE removes or an override replaces.
    bool isReplaced(std::int64_t wall, std::int64_t start) const;
    Recurrence recurrenceOf(const Event& event) const;
    // The alarms of the moved occurrences and, when the appointment does not repeat, of its one
    // occurrence; true when that was all there is.
    bool singleAlarms(std::int64_t moment,
                      const std::function<void(const AlarmTime&)>& visit) const;
    // What examining one occurrence of the appointment costs towards kMaxSearchWork.
    std::int64_t occurrenceWork() const;
    // UTC start of the master's occurrence at local `wall` time.
    std::int64_t occurrenceStart(std::int64_t wall) const;

    Event master_;
    std::vector<Event> overrides_;
    std::vector<std::shared_ptr<TimeZone>> zones_;
    std::function<std::int64_t(std::int64_t)> localToUtc_;
    std::shared_ptr<std::atomic<bool>> pastLimits_ = std::make_shared<std::atomic<bool>>(false);
};

} // namespace devkit::ical
