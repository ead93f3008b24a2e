#include "time_zone.h"

#include "calendar_text.h"

#include <gtest/gtest.h>

namespace devkit::ical {
namespace {

using test::utc;

TimeZone zoneFrom(const std::string& text) {
    Document components;
    std::string error;
    if (!components.parse(text, error)) {
        ADD_FAILURE() << error;
        return TimeZone::fixed("broken", 0);
    }
    auto zone = TimeZone::fromComponent(components.components()[0]);
    EXPECT_TRUE(zone);
    return zone ? *zone : TimeZone::fixed("broken", 0);
}

TEST(TimeZone, OffsetFollowsSummerTime) {
    const TimeZone berlin = zoneFrom(test::berlinZone);
    EXPECT_EQ(berlin.id(), "Europe/Berlin");
    // 2026: summer time from March 29 01:00 UTC to October 25 01:00 UTC.
    EXPECT_EQ(berlin.offsetAt(utc(2026, 3, 29, 0, 59, 59)), 3600);
    EXPECT_EQ(berlin.offsetAt(utc(2026, 3, 29, 1, 0)), 7200);
    EXPECT_EQ(berlin.offsetAt(utc(2026, 10, 25, 0, 59, 59)), 7200);
    EXPECT_EQ(berlin.offsetAt(utc(2026, 10, 25, 1, 0)), 3600);
    EXPECT_EQ(berlin.offsetAt(utc(2031, 7, 14, 12, 0)), 7200);
    EXPECT_EQ(berlin.offsetAt(utc(1969, 7, 14, 12, 0)), 3600); // before the first onset

    // The southern hemisphere's summer spans the turn of the year.
    const TimeZone sydney = zoneFrom("BEGIN:VTIMEZONE\r\nTZID:Australia/Sydney\r\n"
                                     "BEGIN:STANDARD\r\nDTSTART:20080406T030000\r\n"
                                     "TZOFFSETFROM:+1100\r\nTZOFFSETTO:+1000\r\n"
                                     "RRULE:FREQ=YEARLY;BYMONTH=4;BYDAY=1SU\r\nEND:STANDARD\r\n"
                                     "BEGIN:DAYLIGHT\r\nDTSTART:20081005T020000\r\n"
                                     "TZOFFSETFROM:+1000\r\nTZOFFSETTO:+1100\r\n"
                                     "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=1SU\r\nEND:DAYLIGHT\r\n"
                                     "END:VTIMEZONE\r\n");
    EXPECT_EQ(sydney.offsetAt(utc(2027, 1, 10, 0, 0)), 11 * 3600);
    EXPECT_EQ(sydney.offsetAt(utc(2027, 6, 10, 0, 0)), 10 * 3600);
}

TEST(TimeZone, WallTimesAroundTheChanges) {
    const TimeZone berlin = zoneFrom(test::berlinZone);
    EXPECT_EQ(berlin.toUtc(utc(2026, 1, 15, 9, 0)), utc(2026, 1, 15, 8, 0));
    EXPECT_EQ(berlin.toUtc(utc(2026, 7, 15, 9, 0)), utc(2026, 7, 15, 7, 0));
    // 02:30 does not exist on March 29: read with the offset before the change.
    EXPECT_EQ(berlin.toUtc(utc(2026, 3, 29, 2, 30)), utc(2026, 3, 29, 1, 30));
    // 02:30 happens twice on October 25: the first one, in summer time.
    EXPECT_EQ(berlin.toUtc(utc(2026, 10, 25, 2, 30)), utc(2026, 10, 25, 0, 30));
}

TEST(TimeZone, ComponentsWithoutUsableObservancesAreRefused) {
    Document components;
    std::string error;
    ASSERT_TRUE(components.parse("BEGIN:VTIMEZONE\r\nTZID:X\r\nBEGIN:STANDARD\r\n"
                                 "DTSTART:19700101T000000\r\nTZOFFSETTO:+0100\r\n"
                                 "END:STANDARD\r\nEND:VTIMEZONE\r\n",
                                 error));
    EXPECT_FALSE(TimeZone::fromComponent(components.components()[0]));
}

TEST(TimeZone, DescriptionsAsWindowsWritesThem) {
    EXPECT_EQ(describeZone(3600, "Europe/Berlin"),
              "(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna");
    EXPECT_EQ(describeZone(3600, "w. europe standard time"),
              "(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna");
    EXPECT_EQ(describeZone(-(3 * 3600 + 1800), "America/St_Johns"), "(UTC-03:30) Newfoundland");
    EXPECT_EQ(describeZone(5 * 3600 + 1800, "Asia/Kolkata"),
              "(UTC+05:30) Chennai, Kolkata, Mumbai, New Delhi");
    EXPECT_EQ(describeZone(0, "Europe/London"), "(UTC+00:00) Dublin, Edinburgh, Lisbon, London");
    EXPECT_EQ(describeZone(0, "UTC"), "(UTC) Coordinated Universal Time");
    // A zone Windows does not know, or a known name with another offset: the offset and the id.
    EXPECT_EQ(describeZone(-3 * 3600, "America/Sao_Paulo"), "(UTC-03:00) America/Sao_Paulo");
    EXPECT_EQ(describeZone(7200, "Europe/Berlin"), "(UTC+02:00) Europe/Berlin");
}

} // namespace
} // namespace devkit::ical
