// The appointments of calendar folders as the store presents them: each file read once while
// it stays the same, and each item's reminder time at a given moment.
#pragma once
#include "appointment.h"
#include "maildir_store.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace devkit {

struct CalendarItem {
    std::string name;
    std::shared_ptr<const ical::Appointment> appointment; // none when the file is unreadable
    std::string error;                                    // why, then
};

// Parsed appointments by file, valid while the file's signature stays the same. Shared by the
// threads of a store.
class CalendarItems {
public:
    // `localToUtc` reads floating times and dates as the user's wall-clock time.
    explicit CalendarItems(std::function<std::int64_t(std::int64_t)> localToUtc = {})
        : localToUtc_(std::move(localToUtc)) {}

    CalendarItem load(const CalendarFile& file);

private:
    struct Cached {
        std::uint64_t signature;
        CalendarItem item;
    };
    std::function<std::int64_t(std::int64_t)> localToUtc_;
    std::mutex lock_;
    std::map<fs::path, Cached> cache_;
};

// An alarm stays the item's reminder time for this long after it has passed, so that a program
// comparing now and then sees it; then the next one takes its place, as when a mail client's
// reminder is dismissed.
inline constexpr std::int64_t kReminderLinger = 120;

struct Reminder {
    std::optional<ical::AlarmTime> alarm; // the reminder time; none when the item has no alarm
    std::optional<std::int64_t> movesAt;  // when the next alarm takes its place
};

// The item's reminder at `now`: its next alarm, counting those passed less than `linger`
// seconds ago; once none is left, the last one that passed.
Reminder reminderOf(const ical::Appointment& appointment, std::int64_t now,
                    std::int64_t linger = kReminderLinger);

// A new appointment as an iCalendar file. `start` is an instant; `zone` is "UTC", a fixed
// offset such as "+05:30", or one of the zones whose rules the kit knows (knownZones()).
struct NewAppointment {
    std::string summary;
    std::string location;
    std::int64_t start = 0;
    std::int64_t minutes = 60;
    std::string zone = "UTC";
    std::optional<std::int64_t> alarmMinutesBefore; // none: no alarm
    std::string rule;                               // an RRULE value, or empty
};
// Fails (with a reason) for a zone it does not know.
std::optional<std::string> composeAppointment(const NewAppointment& appointment,
                                              std::string& error);
std::vector<std::string> knownZones();
std::optional<ical::TimeZone> knownZone(const std::string& name);
// "20261207T143000" of a wall-clock time or instant.
std::string stamp(std::int64_t seconds);

} // namespace devkit
