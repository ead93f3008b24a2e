// Items that ask for unbounded work cost a bounded time and are served with what was found.
#include "appointment.h"

#include "calendar_text.h"
#include "hostile_text.h"
#include "parsed_appointment.h"

#include <gtest/gtest.h>

#include <chrono>

namespace devkit::ical {
namespace {

using test::alarm;
using test::calendar;
using test::event;
using test::nextAt;
using test::parsed;
using test::utc;

std::int64_t lastAt(const Appointment& appointment, std::int64_t moment) {
    const auto last = appointment.lastAlarmBefore(moment);
    return last ? last->at : -1;
}

TEST(Limits, HostileItemsCostBoundedTimeAndSayTheyWentPastALimit) {
    const std::int64_t now = utc(2026, 12, 10, 10, 30);
    const std::string start = "20261210T100000";
    for (const std::string& text :
         {hostile::zoneOfManyObservances(start), hostile::manyRepeatedAlarms(start),
          hostile::manyRepeatedAlarms(start, 200), hostile::everySecond(start, true),
          hostile::everySecond(start, false)}) {
        const auto began = std::chrono::steady_clock::now();
        const Appointment item = parsed(text);
        const auto next = item.nextAlarm(now);
        if (next)
            item.nextAlarm(next->at + 1);
        item.lastAlarmBefore(now);
        const auto spent = std::chrono::steady_clock::now() - began;
        // Unbounded, these took from seconds to hours; bounded, a few milliseconds (the
        // margin is for sanitizers and a busy machine).
        EXPECT_LT(spent, std::chrono::milliseconds(1500)) << text.substr(0, 300);
        EXPECT_TRUE(item.pastLimits()) << text.substr(0, 300);
        if (next)
            EXPECT_GE(next->at, now);
    }
    // Within the limits, what is found is right: every second from 10:00, a minute before.
    EXPECT_EQ(nextAt(parsed(hostile::everySecond(start, true)), now), now);
    EXPECT_EQ(nextAt(parsed(hostile::everySecond(start, false)), utc(2026, 12, 10, 11, 15, 30)),
              utc(2026, 12, 10, 11, 15, 30));
    EXPECT_EQ(nextAt(parsed(hostile::everySecond(start, false)), utc(2026, 12, 10, 9, 0)),
              utc(2026, 12, 10, 9, 59));
}

TEST(Limits, RepeatedAlarmsAreFoundWithoutWalkingEveryRepeat) {
    const Appointment item = parsed(calendar(
        event("UID:r\r\nDTSTART:20261207T140000Z\r\n"
              "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT30M\r\nREPEAT:2\r\nDURATION:PT10M\r\n"
              "END:VALARM\r\n")));
    EXPECT_EQ(nextAt(item, utc(2026, 12, 7, 13, 0)), utc(2026, 12, 7, 13, 30));
    EXPECT_EQ(nextAt(item, utc(2026, 12, 7, 13, 35)), utc(2026, 12, 7, 13, 40));
    EXPECT_EQ(nextAt(item, utc(2026, 12, 7, 13, 50)), utc(2026, 12, 7, 13, 50));
    EXPECT_EQ(nextAt(item, utc(2026, 12, 7, 13, 51)), -1);
    EXPECT_EQ(lastAt(item, utc(2026, 12, 7, 13, 45)), utc(2026, 12, 7, 13, 40));
    EXPECT_EQ(lastAt(item, utc(2026, 12, 8, 0, 0)), utc(2026, 12, 7, 13, 50));
    EXPECT_EQ(lastAt(item, utc(2026, 12, 7, 13, 30)), -1);
    EXPECT_FALSE(item.pastLimits());
}

TEST(Limits, ACountedRuleSkipsAheadAndStillEndsAtItsCount) {
    // 100 occurrences a second apart from 10:00:00: the last at 10:01:39, reminding at 10:00:39.
    const Appointment item = parsed(
        calendar(event("UID:c\r\nDTSTART:20261207T100000Z\r\nRRULE:FREQ=SECONDLY;COUNT=100\r\n" +
                       alarm("TRIGGER:-PT1M"))));
    EXPECT_EQ(nextAt(item, utc(2026, 12, 7, 10, 0, 38)), utc(2026, 12, 7, 10, 0, 38));
    EXPECT_EQ(nextAt(item, utc(2026, 12, 7, 10, 0, 39)), utc(2026, 12, 7, 10, 0, 39));
    EXPECT_EQ(nextAt(item, utc(2026, 12, 7, 10, 0, 40)), -1);
    EXPECT_FALSE(item.pastLimits());
}

} // namespace
} // namespace devkit::ical
