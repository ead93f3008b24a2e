// The appointments of calendar folders as the store presents them: each file read once while
// it stays the same, and each item's reminder time at a given moment.
#pragma once
#include "appointment.h"
#include "maildir_store.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace devkit {

// An alarm stays the item's reminder time for this long after it has passed, so that a program
// comparing now and then sees it; then the next one takes its place, as when a mail client's
// reminder is dismissed.
inline constexpr std::int64_t kReminderLinger = 120;

struct Reminder {
    std::optional<ical::AlarmTime> alarm; // the reminder time; none when the item has no alarm
    std::optional<std::int64_t> movesAt;  // when the next alarm takes its place
};

struct CalendarItem {
    std::string name;
    std::shared_ptr<const ical::Appointment> appointment; // none when the file is unreadable
    std::string error;                                    // why, then
    // Of the file's content: a rewrite of the same length within the file system's timestamp
    // resolution keeps the signature but not this.
    std::uint64_t digest = 0;
    Reminder reminder; // at the moment the item was loaded for
    // The file asked for more work than an item may cost (see ical::Appointment::pastLimits):
    // it is served with what was found within the limits.
    bool pastLimits = false;
};

// Parsed appointments by file, valid while the file's signature stays the same, with each
// one's reminder, worked out again only when the moment asked for has passed it. Shared by
// the threads of a store.
class CalendarItems {
public:
    // `localToUtc` reads floating times and dates as the user's wall-clock time.
    explicit CalendarItems(std::function<std::int64_t(std::int64_t)> localToUtc = {})
        : localToUtc_(std::move(localToUtc)) {}
    // Files are read through the store's checked reading (see MaildirStore::readInside);
    // without a store, by their names.
    void readThrough(const MaildirStore* store) { store_ = store; }
    // Called once for a file whose item goes past the limits, until the file is forgotten.
    void onPastLimits(std::function<void(const CalendarFile&)> report) {
        reportPastLimits_ = std::move(report);
    }

    // The item and its reminder at `now` (seconds since 1970, UTC).
    CalendarItem load(const CalendarFile& file, std::int64_t now = 0,
                      std::int64_t linger = kReminderLinger);
    // The same, read from the file again even when its signature has not changed: for a file
    // that a change was reported for.
    CalendarItem reload(const CalendarFile& file, std::int64_t now = 0,
                        std::int64_t linger = kReminderLinger);
    // Drops what is kept of a file that is gone.
    void forget(const fs::path& file);

private:
    struct Cached {
        std::uint64_t signature = 0;
        CalendarItem item;
        // item.reminder holds for the moments from `from` to `until` (alarms that passed
        // within the linger counted in).
        std::int64_t from = 0, until = -1, linger = 0;
    };
    CalendarItem read(const CalendarFile& file);
    static void remind(Cached& cached, std::int64_t now, std::int64_t linger);
    // Reports the file the first time its item is past the limits.
    void notePastLimits(const CalendarFile& file, CalendarItem& item);

    std::function<std::int64_t(std::int64_t)> localToUtc_;
    const MaildirStore* store_ = nullptr;
    std::function<void(const CalendarFile&)> reportPastLimits_;
    std::unordered_map<fs::path::string_type, bool> reported_; // under lock_
    std::mutex lock_;
    std::unordered_map<fs::path::string_type, Cached> cache_;
    std::unordered_set<fs::path::string_type> reading_; // by load(), under lock_
    std::condition_variable readDone_;
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
    bool alarmOff = false; // the alarm written with ACTION:NONE: a reminder switched off
};
// Fails (with a reason) for a zone it does not know.
std::optional<std::string> composeAppointment(const NewAppointment& appointment,
                                              std::string& error);
std::vector<std::string> knownZones();
std::optional<ical::TimeZone> knownZone(const std::string& name);
// "20261207T143000" of a wall-clock time or instant.
std::string stamp(std::int64_t seconds);

} // namespace devkit
