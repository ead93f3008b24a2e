#include "appointment.h"

#include "calendar_text.h"
#include "parsed_appointment.h"

#include <gtest/gtest.h>

namespace devkit::ical {
namespace {

using test::alarm;
using test::calendar;
using test::event;
using test::nextAt;
using test::parsed;
using test::utc;

// Mondays at 09:00 in Berlin from March 2, 2026, reminding 15 minutes before; March 16 is
// cancelled and March 23 moved to Thursday 26th at 14:00, with its own reminder.
const std::string weeklyMeeting =
    calendar(event("UID:weekly-1\r\nSUMMARY:Planning\r\nLOCATION:Room 4\r\n"
                   "DTSTART;TZID=Europe/Berlin:20260302T090000\r\n"
                   "DTEND;TZID=Europe/Berlin:20260302T100000\r\n"
                   "RRULE:FREQ=WEEKLY;BYDAY=MO\r\n"
                   "EXDATE;TZID=Europe/Berlin:20260316T090000\r\n" +
                   alarm("TRIGGER:-PT15M")) +
             event("UID:weekly-1\r\nSUMMARY:Planning (moved)\r\nLOCATION:Room 7\r\n"
                   "RECURRENCE-ID;TZID=Europe/Berlin:20260323T090000\r\n"
                   "DTSTART;TZID=Europe/Berlin:20260326T140000\r\n"
                   "DTEND;TZID=Europe/Berlin:20260326T150000\r\n" +
                   alarm("TRIGGER:-PT10M")));

TEST(Appointment, WeeklyMeetingAcrossSummerTimeWithExceptionAndMovedOccurrence) {
    const Appointment meeting = parsed(weeklyMeeting);
    EXPECT_EQ(meeting.event().summary, "Planning");
    EXPECT_EQ(nextAt(meeting, utc(2026, 3, 1, 0, 0)), utc(2026, 3, 2, 7, 45));
    EXPECT_EQ(nextAt(meeting, utc(2026, 3, 2, 7, 46)), utc(2026, 3, 9, 7, 45));

    // March 16 is cancelled, March 23 replaced by Thursday's occurrence and its own alarm.
    const auto moved = meeting.nextAlarm(utc(2026, 3, 9, 7, 46));
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->at, utc(2026, 3, 26, 12, 50));
    EXPECT_EQ(moved->event->summary, "Planning (moved)");
    EXPECT_EQ(moved->event->location, "Room 7");

    // Summer time from March 29: 09:00 is 07:00 UTC.
    const auto summer = meeting.nextAlarm(utc(2026, 3, 26, 12, 51));
    ASSERT_TRUE(summer);
    EXPECT_EQ(summer->at, utc(2026, 3, 30, 6, 45));
    EXPECT_EQ(summer->event->summary, "Planning");
    // Described by the standard offset all year, as Windows does.
    EXPECT_EQ(meeting.zoneDescription(*summer->event, summer->at),
              "(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna");
    EXPECT_EQ(meeting.zoneDescription(meeting.event(), utc(2026, 3, 9, 7, 45)),
              "(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna");

    // Years later the reminder is still found, and quickly.
    EXPECT_EQ(nextAt(meeting, utc(2031, 12, 2, 0, 0)), utc(2031, 12, 8, 7, 45));
    EXPECT_EQ(meeting.lastAlarmBefore(utc(2026, 3, 24, 0, 0))->at, utc(2026, 3, 9, 7, 45));
}

TEST(Appointment, CountAndUntilEndTheSeries) {
    for (const char* limit : {"COUNT=3", "UNTIL=20261209T100000Z"}) {
        const Appointment daily =
            parsed(calendar(event(std::string("UID:d\r\nDTSTART:20261207T100000Z\r\n"
                                              "RRULE:FREQ=DAILY;") +
                                  limit + "\r\n" + alarm("TRIGGER:-PT5M"))));
        EXPECT_EQ(nextAt(daily, utc(2026, 12, 8, 9, 56)), utc(2026, 12, 9, 9, 55)) << limit;
        EXPECT_EQ(nextAt(daily, utc(2026, 12, 9, 9, 56)), -1) << limit;
        EXPECT_EQ(daily.lastAlarmBefore(utc(2027, 6, 1, 0, 0))->at, utc(2026, 12, 9, 9, 55));
    }
}

TEST(Appointment, AllDayEventRemindsTheDayBeforeInTheUsersZone) {
    Appointment christmas = parsed(calendar(event("UID:x\r\nSUMMARY:Christmas Eve\r\n"
                                                  "DTSTART;VALUE=DATE:20261224\r\n"
                                                  "DTEND;VALUE=DATE:20261225\r\n" +
                                                  alarm("TRIGGER:-PT15H"))));
    EXPECT_EQ(nextAt(christmas, 0), utc(2026, 12, 23, 9, 0));
    christmas.setLocalZone([](std::int64_t wall) { return wall - 3600; });
    EXPECT_EQ(nextAt(christmas, 0), utc(2026, 12, 23, 8, 0));
    EXPECT_FALSE(christmas.zoneDescription(christmas.event(), 0));
}

TEST(Appointment, TriggersAfterTheEndAbsoluteAndSeveral) {
    const Appointment fromEnd =
        parsed(calendar(event("UID:e\r\nDTSTART:20261207T140000Z\r\nDTEND:20261207T153000Z\r\n" +
                              alarm("TRIGGER;RELATED=END:PT5M"))));
    EXPECT_EQ(nextAt(fromEnd, 0), utc(2026, 12, 7, 15, 35));
    const Appointment withDuration =
        parsed(calendar(event("UID:e\r\nDTSTART:20261207T140000Z\r\nDURATION:PT45M\r\n" +
                              alarm("TRIGGER;RELATED=END:-PT10M"))));
    EXPECT_EQ(nextAt(withDuration, 0), utc(2026, 12, 7, 14, 35));

    const Appointment several = parsed(calendar(
        event("UID:s\r\nDTSTART:20261207T140000Z\r\n" + alarm("TRIGGER:-PT30M") +
              alarm("TRIGGER:-PT5M") + alarm("TRIGGER;VALUE=DATE-TIME:20261206T180000Z"))));
    EXPECT_TRUE(several.hasAlarms());
    EXPECT_EQ(nextAt(several, utc(2026, 12, 6, 0, 0)), utc(2026, 12, 6, 18, 0));
    EXPECT_EQ(nextAt(several, utc(2026, 12, 6, 18, 1)), utc(2026, 12, 7, 13, 30));
    EXPECT_EQ(nextAt(several, utc(2026, 12, 7, 13, 31)), utc(2026, 12, 7, 13, 55));
    EXPECT_EQ(nextAt(several, utc(2026, 12, 7, 13, 56)), -1);
    EXPECT_EQ(several.zoneDescription(several.event(), 0), "(UTC) Coordinated Universal Time");

    const Appointment silent = parsed(calendar(event("UID:n\r\nDTSTART:20261207T140000Z\r\n")));
    EXPECT_FALSE(silent.hasAlarms());
    EXPECT_FALSE(silent.nextAlarm(0));
}

TEST(Appointment, TextsAreOneLineOfValidUtf8) {
    const Appointment item = parsed(
        calendar(event("UID:t\r\nDTSTART:20261207T140000Z\r\nSUMMARY:Budget\\, Q4\\nreview \xff\r\n"
                       "LOCATION:Caf\xc3\xa9 \\; upstairs\r\n")));
    EXPECT_EQ(item.event().summary, "Budget, Q4 review \xef\xbf\xbd");
    EXPECT_EQ(item.event().location, "Caf\xc3\xa9 ; upstairs");
}

TEST(Appointment, MalformedFilesGiveAnErrorNotAnAppointment) {
    for (const std::string& text :
         {std::string("not a calendar"), calendar(event("UID:a\r\nSUMMARY:no start\r\n")),
          calendar(event("UID:a\r\nDTSTART:2026-12-07\r\n")),
          calendar(event("UID:a\r\nDTSTART:20261207T140000Z\r\nRRULE:FREQ=SOMETIMES\r\n")),
          calendar("BEGIN:VTODO\r\nUID:a\r\nEND:VTODO\r\n"),
          calendar(event("UID:a\r\nDTSTART:20261207T140000Z\r\n")).substr(0, 120)}) {
        std::string error;
        EXPECT_FALSE(Appointment::parse(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

} // namespace
} // namespace devkit::ical
