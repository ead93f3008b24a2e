// Calendar items that ask for unbounded work, as a shared or subscribed calendar may hold:
// for the tests and the benchmarks.
#pragma once

#include <string>

namespace devkit::ical::hostile {

inline std::string calendar(const std::string& zones, const std::string& events) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//hostile//EN\r\n" + zones + events +
           "END:VCALENDAR\r\n";
}

inline std::string repeatedAlarm(const std::string& trigger, int repeat) {
    return "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:" + trigger +
           "\r\nREPEAT:" + std::to_string(repeat) + "\r\nDURATION:PT1M\r\nEND:VALARM\r\n";
}

// A zone "Many" of `count` observances, each changing every few seconds.
inline std::string manyObservances(int count) {
    std::string zone = "BEGIN:VTIMEZONE\r\nTZID:Many\r\n";
    for (int i = 0; i < count; ++i) {
        const std::string kind = i % 2 ? "STANDARD" : "DAYLIGHT";
        zone += "BEGIN:" + kind + "\r\nTZOFFSETFROM:+0" + std::to_string(i % 10) +
                "00\r\nTZOFFSETTO:+0" + std::to_string((i + 1) % 10) + "00\r\nDTSTART:19" +
                std::to_string(70 + i % 30) +
                "0101T000000\r\nRRULE:FREQ=SECONDLY;INTERVAL=" + std::to_string(i + 1) +
                "\r\nEND:" + kind + "\r\n";
    }
    return zone + "END:VTIMEZONE\r\n";
}

// The three shapes, each starting at `start` ("20261210T100000"): an appointment in a zone of
// 100 observances; one occurring every minute with 50 alarms repeating 1,000 times; one
// occurring every second a billion times (or until the year 9999).
inline std::string zoneOfManyObservances(const std::string& start) {
    return calendar(manyObservances(100),
                    "BEGIN:VEVENT\r\nUID:zone\r\nSUMMARY:Zone\r\nDTSTART;TZID=Many:" + start +
                        "\r\nRRULE:FREQ=DAILY\r\n" + repeatedAlarm("-PT15M", 0) + "END:VEVENT\r\n");
}

inline std::string manyRepeatedAlarms(const std::string& start, int alarms = 50) {
    std::string text = "BEGIN:VEVENT\r\nUID:alarms\r\nSUMMARY:Alarms\r\nDTSTART:" + start +
                       "Z\r\nRRULE:FREQ=MINUTELY\r\n";
    for (int i = 0; i < alarms; ++i)
        text += repeatedAlarm("-PT" + std::to_string(i + 1) + "H", 1000);
    return calendar("", text + "END:VEVENT\r\n");
}

inline std::string everySecond(const std::string& start, bool count) {
    return calendar("", "BEGIN:VEVENT\r\nUID:second\r\nSUMMARY:Second\r\nDTSTART:" + start +
                            "Z\r\nRRULE:FREQ=SECONDLY;" +
                            (count ? "COUNT=1000000000" : "UNTIL=99991231T000000Z") + "\r\n" +
                            repeatedAlarm("-PT1M", 0) + "END:VEVENT\r\n");
}

} // namespace devkit::ical::hostile
