// The zone rules a calendar item carries, read as a mail client writes them, and the offset in
// force at a reminder, summer time included.
#include "calendar/zone_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

Ticks at(int year, int month, int day, int hour, int minute) {
    return ticksOf({year, month, day, hour, minute, 0});
}

// The 48 bytes of PidLidTimeZoneStruct: biases (minutes west), then the change to standard time
// and the change to summer time, each a year and a SYSTEMTIME.
std::vector<std::uint8_t> rulesBytes(int bias, int daylightBias, ZoneChange standard,
                                     ZoneChange daylight) {
    std::vector<std::uint8_t> out;
    auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(std::uint8_t(value >> (8 * i)));
    };
    for (int value : {bias, 0, daylightBias})
        put(std::uint32_t(value), 4);
    for (const ZoneChange& c : {standard, daylight}) {
        put(std::uint32_t(c.year), 2);
        for (int field : {c.year, c.month, c.weekday, c.day, c.hour, c.minute, 0, 0})
            put(std::uint32_t(field), 2);
    }
    return out;
}

// Last Sunday of October at 03:00, of March at 02:00.
const auto berlin = rulesBytes(-60, -60, {0, 10, 0, 5, 3, 0}, {0, 3, 0, 5, 2, 0});
// First Sunday of November at 02:00, second of March at 02:00.
const auto newYork = rulesBytes(300, -60, {0, 11, 0, 1, 2, 0}, {0, 3, 0, 2, 2, 0});
// Summer from the first Sunday of October to the first of April.
const auto sydney = rulesBytes(-600, -60, {0, 4, 0, 1, 3, 0}, {0, 10, 0, 1, 2, 0});
const auto kolkata = rulesBytes(-330, 0, {}, {});

int offsetAt(const std::vector<std::uint8_t>& rules, Ticks moment) {
    return reminderOffsetMinutes(rules.data(), rules.size(), "(UTC) ignored", moment);
}

TEST(ZoneRules, SummerAndWinterOfEachHemisphere) {
    EXPECT_EQ(offsetAt(berlin, at(2027, 7, 15, 10, 0)), 120);
    EXPECT_EQ(offsetAt(berlin, at(2027, 1, 15, 10, 0)), 60);
    EXPECT_EQ(offsetAt(newYork, at(2027, 7, 15, 10, 0)), -240);
    EXPECT_EQ(offsetAt(newYork, at(2027, 12, 15, 10, 0)), -300);
    EXPECT_EQ(offsetAt(sydney, at(2027, 1, 15, 10, 0)), 660);
    EXPECT_EQ(offsetAt(sydney, at(2027, 7, 15, 10, 0)), 600);
    EXPECT_EQ(offsetAt(kolkata, at(2027, 7, 15, 10, 0)), 330) << "no summer time";
}

TEST(ZoneRules, TheChangesFallOnTheirWeekdayAndHour) {
    // 2027: the last Sundays are 28 March and 31 October; the changes at 01:00 UTC.
    EXPECT_EQ(offsetAt(berlin, at(2027, 3, 28, 0, 59)), 60);
    EXPECT_EQ(offsetAt(berlin, at(2027, 3, 28, 1, 0)), 120);
    EXPECT_EQ(offsetAt(berlin, at(2027, 10, 31, 0, 59)), 120);
    EXPECT_EQ(offsetAt(berlin, at(2027, 10, 31, 1, 0)), 60);
    // 2027: 14 March at 07:00 UTC, 7 November at 06:00 UTC.
    EXPECT_EQ(offsetAt(newYork, at(2027, 3, 14, 6, 59)), -300);
    EXPECT_EQ(offsetAt(newYork, at(2027, 3, 14, 7, 0)), -240);
    EXPECT_EQ(offsetAt(newYork, at(2027, 11, 7, 5, 59)), -240);
    EXPECT_EQ(offsetAt(newYork, at(2027, 11, 7, 6, 0)), -300);
}

TEST(ZoneRules, AnAbsoluteChangeHoldsForItsYearOnly) {
    const auto once = rulesBytes(-60, -60, {2027, 10, 0, 3, 3, 0}, {2027, 3, 0, 27, 2, 0});
    EXPECT_EQ(offsetAt(once, at(2027, 3, 27, 1, 0)), 120);
    EXPECT_EQ(offsetAt(once, at(2027, 3, 27, 0, 59)), 60);
    EXPECT_EQ(offsetAt(once, at(2028, 7, 1, 0, 0)), 60);
}

TEST(ZoneRules, WithoutUsableRulesTheDescriptionDecides) {
    const char* description = "(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna";
    const Ticks july = at(2027, 7, 15, 10, 0);
    EXPECT_EQ(reminderOffsetMinutes(nullptr, 0, description, july), 60);
    std::vector<std::uint8_t> cut(berlin.begin(), berlin.end() - 1);
    EXPECT_EQ(reminderOffsetMinutes(cut.data(), cut.size(), description, july), 60);
    auto badMonth = rulesBytes(-60, -60, {0, 13, 0, 5, 3, 0}, {0, 3, 0, 5, 2, 0});
    EXPECT_EQ(reminderOffsetMinutes(badMonth.data(), badMonth.size(), description, july), 60);
    EXPECT_EQ(reminderOffsetMinutes(berlin.data(), berlin.size(), description, july), 120);
}

} // namespace
