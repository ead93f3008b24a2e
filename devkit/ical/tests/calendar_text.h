// iCalendar texts for the tests: a calendar around some VEVENT lines, and a zone.
#pragma once

#include "ical_time.h"

#include <cstdint>
#include <string>

namespace devkit::ical::test {

// Central European time as calendar programs write it: summer time from the last Sunday of
// March to the last Sunday of October.
inline const std::string berlinZone = "BEGIN:VTIMEZONE\r\n"
                                      "TZID:Europe/Berlin\r\n"
                                      "BEGIN:DAYLIGHT\r\n"
                                      "TZOFFSETFROM:+0100\r\n"
                                      "TZOFFSETTO:+0200\r\n"
                                      "TZNAME:CEST\r\n"
                                      "DTSTART:19700329T020000\r\n"
                                      "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n"
                                      "END:DAYLIGHT\r\n"
                                      "BEGIN:STANDARD\r\n"
                                      "TZOFFSETFROM:+0200\r\n"
                                      "TZOFFSETTO:+0100\r\n"
                                      "TZNAME:CET\r\n"
                                      "DTSTART:19701025T030000\r\n"
                                      "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n"
                                      "END:STANDARD\r\n"
                                      "END:VTIMEZONE\r\n";

// A calendar with the zones and the VEVENT blocks given (each "BEGIN:VEVENT ... END:VEVENT").
inline std::string calendar(const std::string& events, const std::string& zones = berlinZone) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + zones + events +
           "END:VCALENDAR\r\n";
}

inline std::string event(const std::string& lines) {
    return "BEGIN:VEVENT\r\n" + lines + "END:VEVENT\r\n";
}

inline std::string alarm(const std::string& trigger) {
    return "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Reminder\r\n" + trigger +
           "\r\nEND:VALARM\r\n";
}

inline std::int64_t utc(int year, int month, int day, int hour, int minute, int second = 0) {
    return daysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

} // namespace devkit::ical::test
