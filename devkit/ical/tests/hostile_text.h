// Calendar items that ask for unbounded work, as a shared or subscribed calendar may hold:
// for the tests and the benchmarks.
#pragma once

#include <string>
#include <utility>
#include <vector>

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

// Items of about 1 MB, each heavy in another way for the reading of the file itself: folded,
// escaped, long or many lines, parameters, components and list items. `start` as above.
inline std::vector<std::pair<std::string, std::string>> megabyteItems(const std::string& start) {
    constexpr std::size_t size = 1000000;
    auto fill = [](std::string text, const std::string& piece) {
        while (text.size() < size)
            text += piece;
        return text;
    };
    auto event = [&](const std::string& lines, const std::string& after = "") {
        return calendar("", "BEGIN:VEVENT\r\nUID:u\r\nSUMMARY:s\r\nDTSTART:" + start +
                                "Z\r\nRRULE:FREQ=DAILY\r\n" + repeatedAlarm("-PT15M", 0) + lines +
                                "END:VEVENT\r\n" + after);
    };
    std::string all =
        "BEGIN:VEVENT\r\nUID:big\r\nDTSTART;TZID=Many:" + start + "\r\nRRULE:FREQ=MINUTELY\r\n";
    for (int i = 0; i < 200; ++i)
        all += repeatedAlarm("-PT" + std::to_string(i + 1) + "H", 1000);
    all =
        calendar(manyObservances(100),
                 fill(all + "DESCRIPTION:", std::string(74, 'x') + "\r\n ") + "\r\nEND:VEVENT\r\n");
    std::string zones;
    for (int i = 0; zones.size() < size; ++i)
        zones += "BEGIN:VTIMEZONE\r\nTZID:Z" + std::to_string(i) +
                 "\r\nBEGIN:STANDARD\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0100\r\n"
                 "DTSTART:19700101T000000\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
    std::string others;
    for (int i = 0; others.size() < size; ++i)
        others += "BEGIN:VEVENT\r\nUID:v" + std::to_string(i) + "\r\nDTSTART:" + start +
                  "Z\r\nEND:VEVENT\r\n";
    return {
        {"all of the above, long text", all},
        {"one line folded 330,000 times", event(fill("DESCRIPTION:", "\r\n x") + "\r\n")},
        {"100,000 folded lines", event(fill("DESCRIPTION:", "\r\n xxxxxxx") + "\r\n")},
        {"one 1 MB DESCRIPTION", event("DESCRIPTION:" + std::string(size, 'x') + "\r\n")},
        {"a SUMMARY of escapes", event(fill("SUMMARY:", "\\n\\,\\;") + "\r\n")},
        {"a folded SUMMARY of escapes", event(fill("SUMMARY:", "\r\n \\n") + "\r\n")},
        {"99,000 tiny properties", event(fill("", "X-AB:12\r\n").substr(0, 99000 * 9))},
        {"250,000 parameters", event(fill("X", ";A=1") + ":v\r\n")},
        {"500,000 parameter values", event(fill("X;A=1", ",1") + ":v\r\n")},
        {"250,000 TZIDs of DTSTART",
         calendar("", fill("BEGIN:VEVENT\r\nUID:u\r\nDTSTART", ";TZID=a") + ":" + start +
                          "\r\nEND:VEVENT\r\n")},
        {"62,000 EXDATEs in one", event(fill("EXDATE:" + start + "Z", "," + start + "Z") + "\r\n")},
        {"41,000 EXDATE lines", event(fill("", "EXDATE:" + start + "Z\r\n"))},
        {"14,000 alarms", event(fill("", repeatedAlarm("-PT1M", 1000)))},
        {"6,000 time zones", calendar(zones, "BEGIN:VEVENT\r\nUID:u\r\nDTSTART;TZID=Z5000:" +
                                                 start + "\r\nEND:VEVENT\r\n")},
        {"8,000 moved occurrences",
         event("", fill("", "BEGIN:VEVENT\r\nUID:u\r\nRECURRENCE-ID:" + start + "Z\r\nDTSTART:" +
                                start + "Z\r\n" + repeatedAlarm("-PT15M", 0) + "END:VEVENT\r\n"))},
        {"16,000 other appointments", event("", others)},
        {"333,000 weekdays of a rule",
         calendar("", fill("BEGIN:VEVENT\r\nUID:u\r\nDTSTART:" + start +
                               "Z\r\nRRULE:FREQ=MINUTELY;BYDAY=MO",
                           ",MO") +
                          "\r\n" + repeatedAlarm("-PT15M", 0) + "END:VEVENT\r\n")},
    };
}

} // namespace devkit::ical::hostile
