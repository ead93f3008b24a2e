// The lines of a reminder without Windows: the zone offset of a time-zone description, the date
// line in that zone, and the text block with its three slots.
#include "calendar/reminder_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Ticks at(int year, int month, int day, int hour, int minute, int second = 0) {
    return ticksOf({year, month, day, hour, minute, second});
}

TEST(ZoneOffset, ReadsSignHoursAndMinutes) {
    EXPECT_EQ(zoneOffsetMinutes("(GMT+01:00) Europe/Berlin"), 60);
    EXPECT_EQ(zoneOffsetMinutes("(GMT-05:00) America/New_York"), -300);
    EXPECT_EQ(zoneOffsetMinutes("(GMT+05:30) Asia/Kolkata"), 330);
    EXPECT_EQ(zoneOffsetMinutes("(UTC-03:30) Newfoundland"), -210);
    EXPECT_EQ(zoneOffsetMinutes("(GMT+12:45) Pacific/Chatham"), 765);
}

TEST(ZoneOffset, NoOffsetWhereTheDescriptionHasNone) {
    EXPECT_EQ(zoneOffsetMinutes("(GMT) Greenwich Mean Time"), 0);
    EXPECT_EQ(zoneOffsetMinutes("Europe/Berlin"), 0);
    EXPECT_EQ(zoneOffsetMinutes("(GMT"), 0);
    EXPECT_EQ(zoneOffsetMinutes(""), 0);
    EXPECT_EQ(zoneOffsetMinutes("(GMT+02"), 120) << "cut after the hours";
}

TEST(DateLine, AppliesTheWholeOffsetAndCarriesTheDate) {
    // Days above 12 so that day and month cannot be confused.
    EXPECT_EQ(reminderDateLine(at(2026, 12, 24, 23, 15), 60), "Date & Time : 25-12-2026  00:15");
    EXPECT_EQ(reminderDateLine(at(2026, 3, 14, 2, 10), -300), "Date & Time : 13-03-2026  21:10");
    EXPECT_EQ(reminderDateLine(at(2026, 6, 17, 20, 45), 330), "Date & Time : 18-06-2026  02:15");
    EXPECT_EQ(reminderDateLine(at(2026, 6, 17, 1, 20), -210), "Date & Time : 16-06-2026  21:50");
    EXPECT_EQ(reminderDateLine(at(2026, 6, 17, 9, 5), 0), "Date & Time : 17-06-2026  09:05");
}

TEST(DateLine, CarriesMonthAndYear) {
    EXPECT_EQ(reminderDateLine(at(2026, 12, 31, 23, 30), 60), "Date & Time : 01-01-2027  00:30");
    EXPECT_EQ(reminderDateLine(at(2027, 1, 1, 2, 0), -210), "Date & Time : 31-12-2026  22:30");
    EXPECT_EQ(reminderDateLine(at(2028, 3, 1, 3, 0), -300), "Date & Time : 29-02-2028  22:00");
    EXPECT_EQ(reminderDateLine(at(2026, 4, 30, 22, 0), 120), "Date & Time : 01-05-2026  00:00");
}

TEST(ReminderBlock, ThreeTextsInTheirSlots) {
    char block[reminderBlockSize];
    writeReminderBlock(block, "Dentist", "Main Street 4", "Date & Time : 17-06-2026  09:05");
    EXPECT_STREQ(block + appointmentSlot, "Appointment: Dentist");
    EXPECT_STREQ(block + locationSlot, "Location: Main Street 4");
    EXPECT_STREQ(block + dateSlot, "Date & Time : 17-06-2026  09:05");
}

TEST(ReminderBlock, LongTextsAreCutToTheirSlots) {
    char block[reminderBlockSize];
    const std::string subject(300, 's'), location(300, 'l');
    writeReminderBlock(block, subject.c_str(), location.c_str(), std::string(40, 'd'));
    EXPECT_EQ(std::string(block + appointmentSlot), "Appointment: " + std::string(241, 's'));
    EXPECT_EQ(std::string(block + locationSlot), "Location: " + std::string(244, 'l'));
    EXPECT_EQ(std::string(block + dateSlot), std::string(31, 'd'));
}

TEST(ReminderBlock, MissingSubjectAndLocationAreEmpty) {
    char block[reminderBlockSize];
    writeReminderBlock(block, nullptr, nullptr, "");
    EXPECT_STREQ(block + appointmentSlot, "Appointment: ");
    EXPECT_STREQ(block + locationSlot, "Location: ");
    EXPECT_STREQ(block + dateSlot, "");
}

} // namespace
