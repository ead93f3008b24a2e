// Reminder times: the clock's minute rule, UTC calendar fields, and the reminders a rebuilt table
// must not announce again. Portable: no Windows API.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// A moment as a FILETIME counts it: 100-ns ticks since 1 January 1601, UTC.
using Ticks = std::uint64_t;
inline constexpr Ticks ticksPerSecond = 10'000'000;
inline constexpr Ticks ticksPerMinute = 60 * ticksPerSecond;

struct CivilTime {
    int year;
    int month; // 1 to 12
    int day;   // 1 to 31
    int hour;
    int minute;
    int second;
};

// Calendar fields of a moment, proleptic Gregorian, as FileTimeToSystemTime gives them.
CivilTime civilTime(Ticks moment);
// The moment of the given fields; the fields must be in their ranges, the year from 1601.
Ticks ticksOf(const CivilTime& fields);

// Whether a pass of the clock at `now` announces a reminder not announced yet: from the first
// pass in its minute on. A reminder whose minute went by without a pass (the computer slept)
// is therefore announced at the next pass rather than never.
bool isDue(Ticks reminder, Ticks now);

// Reminders announced already, each by its item's entry identifier and its reminder time. A
// reload hands the previous table's over to the new one, so a reminder is never announced twice;
// an item given a new reminder time is a new reminder.
class AnnouncedReminders {
public:
    void add(Ticks time, const std::uint8_t* id, std::size_t size);
    bool contains(Ticks time, const std::uint8_t* id, std::size_t size) const;
    bool empty() const { return entries_.empty(); }

private:
    struct Entry {
        Ticks time;
        std::vector<std::uint8_t> id;
        auto operator<=>(const Entry&) const = default;
    };
    std::vector<Entry> entries_; // kept sorted: a reload looks each new entry up
};
