#include "calendar_items.h"

#include "ascii.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include <cstdio>

namespace devkit {

namespace {

// FNV-1a over eight bytes at a time (a byte at a time costs milliseconds a megabyte).
std::uint64_t digestOf(std::string_view content) {
    std::uint64_t value = 14695981039346656037ULL ^ content.size();
    std::size_t i = 0;
    for (; i + 8 <= content.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, content.data() + i, 8);
        value = (value ^ word) * 1099511628211ULL;
        value ^= value >> 29;
    }
    for (; i < content.size(); ++i)
        value = (value ^ static_cast<unsigned char>(content[i])) * 1099511628211ULL;
    return value;
}

// Files are read into memory of the reading thread's own, kept for the next file: a large
// item then costs no fresh memory at each reading (up to this much is kept).
constexpr std::size_t kKeptReadBuffer = 2 * 1024 * 1024;

} // namespace

CalendarItem CalendarItems::read(const CalendarFile& file) {
    CalendarItem item{file.name, nullptr, {}, 0, {}};
    thread_local std::string buffer;
    std::optional<std::string> byName;
    // A file larger than any calendar the parser takes is not read at all.
    const bool read = store_
                          ? store_->readInside(file.file, buffer, nullptr, ical::kMaxCalendarBytes)
                          : (byName = tryReadFile(file.file)).has_value();
    if (read) {
        const std::string_view content = byName ? std::string_view(*byName) : buffer;
        item.digest = digestOf(content);
        if (auto appointment = ical::Appointment::parse(content, item.error)) {
            appointment->setLocalZone(localToUtc_);
            item.appointment = std::make_shared<const ical::Appointment>(std::move(*appointment));
        }
    } else {
        item.error = "cannot be read";
    }
    if (buffer.capacity() > kKeptReadBuffer)
        std::string().swap(buffer);
    return item;
}

void CalendarItems::remind(Cached& cached, std::int64_t now, std::int64_t linger) {
    const std::int64_t from = now - linger + 1;
    if (!cached.item.appointment ||
        (linger == cached.linger && from >= cached.from && from <= cached.until))
        return;
    const Reminder reminder = reminderOf(*cached.item.appointment, now, linger);
    cached.item.reminder = reminder;
    cached.from = from;
    cached.linger = linger;
    // The next alarm stays the next one until its moment; once none is left, the last one
    // stays, but is looked for again after a while, as its search does not reach far back.
    if (!reminder.alarm)
        cached.until = INT64_MAX;
    else if (reminder.alarm->at >= from)
        cached.until = reminder.alarm->at;
    else
        cached.until = reminder.alarm->at + 300 * ical::kSecondsPerDay;
}

void CalendarItems::notePastLimits(const CalendarFile& file, CalendarItem& item) {
    item.pastLimits = item.appointment && item.appointment->pastLimits();
    if (!item.pastLimits || std::exchange(reported_[file.file.native()], true))
        return;
    if (reportPastLimits_)
        reportPastLimits_(file);
}

CalendarItem CalendarItems::load(const CalendarFile& file, std::int64_t now, std::int64_t linger) {
    {
        std::unique_lock guard(lock_);
        // A file another thread is reading is waited for, not read twice: a calendar's first
        // listing by a table and by its watch would otherwise read every file twice.
        readDone_.wait(guard, [&] { return !reading_.count(file.file.native()); });
        auto found = cache_.find(file.file.native());
        if (found != cache_.end() && found->second.signature == file.signature) {
            remind(found->second, now, linger);
            notePastLimits(file, found->second.item);
            return found->second.item;
        }
        reading_.insert(file.file.native());
    }
    struct Done {
        CalendarItems& items;
        const fs::path::string_type& file;
        ~Done() {
            std::lock_guard guard(items.lock_);
            items.reading_.erase(file);
            items.readDone_.notify_all();
        }
    } done{*this, file.file.native()};
    return reload(file, now, linger);
}

CalendarItem CalendarItems::reload(const CalendarFile& file, std::int64_t now,
                                   std::int64_t linger) {
    Cached cached{file.signature, read(file)};
    remind(cached, now, linger);
    std::lock_guard guard(lock_);
    notePastLimits(file, cached.item);
    return (cache_[file.file.native()] = std::move(cached)).item;
}

void CalendarItems::forget(const fs::path& file) {
    std::lock_guard guard(lock_);
    cache_.erase(file.native());
    reported_.erase(file.native());
}

Reminder reminderOf(const ical::Appointment& appointment, std::int64_t now, std::int64_t linger) {
    Reminder reminder;
    // Alarms that passed less than `linger` seconds ago still count.
    const std::int64_t from = now - linger + 1;
    reminder.alarm = appointment.nextAlarm(from);
    if (!reminder.alarm) {
        reminder.alarm = appointment.lastAlarmBefore(from);
        return reminder;
    }
    if (appointment.nextAlarm(reminder.alarm->at + 1))
        reminder.movesAt = reminder.alarm->at + linger;
    return reminder;
}

namespace {

enum class Rules { none, europe, northAmerica, australia };

struct KnownZone {
    const char* id;
    int standardMinutes; // east of Greenwich
    Rules rules;
};

constexpr KnownZone zones[] = {
    {"UTC", 0, Rules::none},
    {"Europe/London", 0, Rules::europe},
    {"Europe/Lisbon", 0, Rules::europe},
    {"Europe/Berlin", 60, Rules::europe},
    {"Europe/Paris", 60, Rules::europe},
    {"Europe/Madrid", 60, Rules::europe},
    {"Europe/Rome", 60, Rules::europe},
    {"Europe/Amsterdam", 60, Rules::europe},
    {"Europe/Vienna", 60, Rules::europe},
    {"Europe/Zurich", 60, Rules::europe},
    {"Europe/Stockholm", 60, Rules::europe},
    {"Europe/Warsaw", 60, Rules::europe},
    {"Europe/Helsinki", 120, Rules::europe},
    {"Europe/Athens", 120, Rules::europe},
    {"America/St_Johns", -210, Rules::northAmerica},
    {"America/Halifax", -240, Rules::northAmerica},
    {"America/New_York", -300, Rules::northAmerica},
    {"America/Chicago", -360, Rules::northAmerica},
    {"America/Denver", -420, Rules::northAmerica},
    {"America/Los_Angeles", -480, Rules::northAmerica},
    {"Asia/Kolkata", 330, Rules::none},
    {"Asia/Tokyo", 540, Rules::none},
    {"Australia/Sydney", 600, Rules::australia},
};

std::string offsetText(int minutes) {
    char text[8];
    const int magnitude = minutes < 0 ? -minutes : minutes;
    std::snprintf(text, sizeof text, "%c%02d%02d", minutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

std::string observance(const char* kind, int from, int to, const std::string& start,
                       const std::string& rule) {
    return std::string("BEGIN:") + kind + "\r\nTZOFFSETFROM:" + offsetText(from) +
           "\r\nTZOFFSETTO:" + offsetText(to) + "\r\nDTSTART:" + start + "\r\nRRULE:" + rule +
           "\r\nEND:" + kind + "\r\n";
}

std::string timeZoneText(const std::string& id, int standard, Rules rules) {
    std::string text = "BEGIN:VTIMEZONE\r\nTZID:" + id + "\r\n";
    const int summer = standard + 60;
    char start[32];
    switch (rules) {
    case Rules::none:
        text += "BEGIN:STANDARD\r\nTZOFFSETFROM:" + offsetText(standard) +
                "\r\nTZOFFSETTO:" + offsetText(standard) +
                "\r\nDTSTART:19700101T000000\r\nEND:STANDARD\r\n";
        break;
    case Rules::europe: // at 01:00 UTC on the last Sundays of March and October
        std::snprintf(start, sizeof start, "19700329T%02d0000", 1 + standard / 60);
        text += observance("DAYLIGHT", standard, summer, start, "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU");
        std::snprintf(start, sizeof start, "19701025T%02d0000", 1 + summer / 60);
        text +=
            observance("STANDARD", summer, standard, start, "FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU");
        break;
    case Rules::northAmerica: // at 02:00 local time, second Sunday of March, first of November
        text += observance("DAYLIGHT", standard, summer, "20070311T020000",
                           "FREQ=YEARLY;BYMONTH=3;BYDAY=2SU");
        text += observance("STANDARD", summer, standard, "20071104T020000",
                           "FREQ=YEARLY;BYMONTH=11;BYDAY=1SU");
        break;
    case Rules::australia: // first Sunday of October, to the first Sunday of April
        text += observance("DAYLIGHT", standard, summer, "20081005T020000",
                           "FREQ=YEARLY;BYMONTH=10;BYDAY=1SU");
        text += observance("STANDARD", summer, standard, "20080406T030000",
                           "FREQ=YEARLY;BYMONTH=4;BYDAY=1SU");
        break;
    }
    return text + "END:VTIMEZONE\r\n";
}

// "+05:30" or "-0300": minutes east of Greenwich.
std::optional<int> fixedOffset(const std::string& zone) {
    std::string digits;
    for (char c : zone.substr(zone.empty() ? 0 : 1))
        if (c != ':')
            digits += c;
    if (digits.size() != 4 || (zone[0] != '+' && zone[0] != '-') ||
        !std::all_of(digits.begin(), digits.end(), isAsciiDigit))
        return std::nullopt;
    const int minutes = std::stoi(digits.substr(0, 2)) * 60 + std::stoi(digits.substr(2));
    if (minutes > 14 * 60 || std::stoi(digits.substr(2)) > 59)
        return std::nullopt;
    return zone[0] == '-' ? -minutes : minutes;
}

std::string escapeText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == ';' || c == ',')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (c != '\r')
            out += c;
    }
    return out;
}

// Lines longer than 75 bytes are folded, never inside a UTF-8 sequence.
std::string folded(const std::string& line) {
    std::string out;
    std::size_t width = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const bool continuation = (static_cast<unsigned char>(line[i]) & 0xC0) == 0x80;
        if (width >= 74 && !continuation) {
            out += "\r\n ";
            width = 1;
        }
        out += line[i];
        ++width;
    }
    return out + "\r\n";
}

} // namespace

std::string stamp(std::int64_t utc) {
    const ical::CivilDate date = ical::civilFromDays(ical::dayOf(utc));
    const std::int64_t time = ical::secondOfDay(utc);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", date.year, date.month, date.day,
                  int(time / 3600), int(time / 60 % 60), int(time % 60));
    return text;
}

std::vector<std::string> knownZones() {
    std::vector<std::string> names;
    for (const KnownZone& zone : zones)
        names.push_back(zone.id);
    return names;
}

namespace {

// The VTIMEZONE of a zone the kit knows, and its TZID; nothing for others.
std::optional<std::string> zoneComponent(const std::string& name, std::string& id) {
    if (auto offset = fixedOffset(name)) {
        id = "GMT" + offsetText(*offset);
        return timeZoneText(id, *offset, Rules::none);
    }
    for (const KnownZone& zone : zones)
        if (equalsIgnoreAsciiCase(zone.id, name)) {
            id = zone.id;
            return timeZoneText(id, zone.standardMinutes, zone.rules);
        }
    return std::nullopt;
}

} // namespace

std::optional<ical::TimeZone> knownZone(const std::string& name) {
    std::string id, error;
    const auto text = zoneComponent(name, id);
    ical::Document parts;
    if (!text || !parts.parse(*text, error))
        return std::nullopt;
    return ical::TimeZone::fromComponent(parts.components()[0]); // a parsed stream has one
}

std::optional<std::string> composeAppointment(const NewAppointment& appointment,
                                              std::string& error) {
    std::string zoneId;
    const auto zoneText = zoneComponent(appointment.zone, zoneId);
    const auto zone = knownZone(appointment.zone);
    if (!zoneText || !zone) {
        error = "unknown time zone " + appointment.zone;
        return std::nullopt;
    }
    const std::int64_t wall = appointment.start + zone->offsetAt(appointment.start);

    std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//devkit//maildirctl//EN\r\n" +
                       *zoneText + "BEGIN:VEVENT\r\n";
    text += "UID:" + std::to_string(appointment.start) + "-" +
            std::to_string(std::hash<std::string>{}(appointment.summary)) + "@devkit\r\n";
    text += "DTSTAMP:" + stamp(appointment.start) + "Z\r\n";
    text += "DTSTART;TZID=" + zoneId + ":" + stamp(wall) + "\r\n";
    text += "DURATION:PT" + std::to_string(appointment.minutes) + "M\r\n";
    text += folded("SUMMARY:" + escapeText(appointment.summary));
    if (!appointment.location.empty())
        text += folded("LOCATION:" + escapeText(appointment.location));
    if (!appointment.rule.empty())
        text += "RRULE:" + appointment.rule + "\r\n";
    if (const auto before = appointment.alarmMinutesBefore) // negative: after the start
        text += "BEGIN:VALARM\r\nACTION:" + std::string(appointment.alarmOff ? "NONE" : "DISPLAY") +
                "\r\nDESCRIPTION:Reminder\r\nTRIGGER:" + std::string(*before < 0 ? "PT" : "-PT") +
                std::to_string(*before < 0 ? -*before : *before) + "M\r\nEND:VALARM\r\n";
    text += "END:VEVENT\r\nEND:VCALENDAR\r\n";
    return text;
}

} // namespace devkit
