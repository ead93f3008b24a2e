#include "calendar_items.h"
#include "hostile_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>

using namespace devkit;

namespace {

std::int64_t utc(int year, int month, int day, int hour, int minute) {
    return ical::daysFromCivil(year, month, day) * ical::kSecondsPerDay + hour * 3600 + minute * 60;
}

TEST(KnownZones, StandardOffsetAndRulesAsWindowsKeepsThem) {
    const auto berlin = knownZone("Europe/Berlin");
    ASSERT_TRUE(berlin);
    const std::int64_t july = utc(2027, 7, 15, 0, 0);
    EXPECT_EQ(berlin->offsetAt(july), 7200);
    EXPECT_EQ(berlin->standardOffsetAt(july), 3600);
    const ical::WindowsZoneRules rules = berlin->windowsRules(july);
    EXPECT_EQ(rules.bias, -60);
    EXPECT_EQ(rules.standardBias, 0);
    EXPECT_EQ(rules.daylightBias, -60);
    // The last Sunday of October at 03:00, of March at 02:00, every year.
    const ical::TransitionDate october = rules.standardDate, march = rules.daylightDate;
    EXPECT_EQ((std::vector<int>{october.year, october.month, october.weekday, october.day,
                                october.hour, october.minute}),
              (std::vector<int>{0, 10, 0, 5, 3, 0}));
    EXPECT_EQ((std::vector<int>{march.year, march.month, march.weekday, march.day, march.hour,
                                march.minute}),
              (std::vector<int>{0, 3, 0, 5, 2, 0}));

    const auto newYork = knownZone("America/New_York");
    ASSERT_TRUE(newYork);
    const ical::WindowsZoneRules east = newYork->windowsRules(july);
    EXPECT_EQ(east.bias, 300);
    EXPECT_EQ(east.standardDate.month, 11);
    EXPECT_EQ(east.standardDate.day, 1);
    EXPECT_EQ(east.daylightDate.day, 2);

    const ical::WindowsZoneRules kolkata = knownZone("Asia/Kolkata")->windowsRules(july);
    EXPECT_EQ(kolkata.bias, -330);
    EXPECT_EQ(kolkata.standardDate.month, 0);
    EXPECT_EQ(kolkata.daylightDate.month, 0);
}

class Calendar : public ::testing::Test {
protected:
    void SetUp() override { store.createStandardLayout(); }
    void TearDown() override { fs::remove_all(root); }

    std::string add(const NewAppointment& appointment, const std::string& name = {}) {
        std::string error;
        const auto text = composeAppointment(appointment, error);
        EXPECT_TRUE(text) << error;
        return store.putCalendarFile(folder, text.value_or(""), name);
    }
    CalendarItem item(const std::string& name) {
        return items.load(store.findCalendarFile(folder, name).value());
    }

    fs::path root =
        fs::temp_directory_path() / ("calendar-test-" + std::to_string(std::random_device{}()));
    MaildirStore store{root};
    const std::string folder = "IPM_SUBTREE/Calendar";
    CalendarItems items;
};

TEST_F(Calendar, TheCalendarFolderHoldsOneFilePerAppointment) {
    EXPECT_TRUE(store.isCalendar(folder));
    EXPECT_FALSE(store.isCalendar("IPM_SUBTREE/Inbox"));
    EXPECT_FALSE(store.isCalendar("IPM_SUBTREE"));
    EXPECT_FALSE(store.isCalendar(""));

    const std::string named =
        add({.summary = "Dentist", .start = utc(2026, 12, 9, 8, 0)}, "dentist");
    const std::string unnamed = add({.summary = "Review", .start = utc(2026, 12, 10, 8, 0)});
    std::ofstream(store.directory(folder) / "notes.txt") << "not an appointment";
    std::ofstream(store.directory(folder) / ".hidden.ics") << "BEGIN:VCALENDAR";
    std::vector<std::string> names;
    for (const CalendarFile& file : store.calendarFiles(folder))
        names.push_back(file.name);
    EXPECT_EQ(names, (std::vector<std::string>{unnamed, "dentist"})); // by name, digits first

    EXPECT_TRUE(store.deleteCalendarFile(folder, named));
    EXPECT_FALSE(store.findCalendarFile(folder, named));
    EXPECT_FALSE(store.deleteCalendarFile(folder, "../Inbox/x"));
    EXPECT_THROW(store.putCalendarFile(folder, "x", "a/b"), std::invalid_argument);
}

TEST_F(Calendar, FilesAreReadAgainOnlyWhenTheyChange) {
    add({.summary = "First", .start = utc(2026, 12, 9, 8, 0)}, "item");
    store.putCalendarFile(folder, "BEGIN:VCALENDAR\r\nnonsense", "broken");
    EXPECT_EQ(item("item").appointment->event().summary, "First");
    const CalendarItem broken = item("broken");
    EXPECT_FALSE(broken.appointment);
    EXPECT_FALSE(broken.error.empty());

    add({.summary = "Second, longer", .start = utc(2026, 12, 9, 8, 0)}, "item");
    EXPECT_EQ(item("item").appointment->event().summary, "Second, longer");
}

TEST_F(Calendar, AReportedChangeIsReadAgainThoughSizeAndTimeStayTheSame) {
    add({.summary = "Team A", .start = utc(2026, 12, 9, 8, 0)}, "team");
    const CalendarFile before = store.findCalendarFile(folder, "team").value();
    const CalendarItem first = items.load(before);
    const auto written = fs::last_write_time(before.file);
    std::string text = readFile(before.file);
    text.replace(text.find("Team A"), 6, "Team B");
    std::ofstream(before.file, std::ios::binary | std::ios::trunc) << text;
    fs::last_write_time(before.file, written); // as a coarse timestamp would show it

    const CalendarFile after = store.findCalendarFile(folder, "team").value();
    ASSERT_EQ(after.signature, before.signature);
    const CalendarItem again = items.reload(after);
    EXPECT_EQ(again.appointment->event().summary, "Team B");
    EXPECT_NE(again.digest, first.digest);
    EXPECT_EQ(items.load(after).appointment->event().summary, "Team B");
}

TEST_F(Calendar, ALoadedItemsReminderFollowsTheMomentAskedFor) {
    add({.summary = "Standup",
         .start = utc(2026, 12, 7, 8, 0),
         .alarmMinutesBefore = 10,
         .rule = "FREQ=WEEKLY;COUNT=2"},
        "weekly");
    const CalendarFile file = store.findCalendarFile(folder, "weekly").value();
    const std::int64_t alarm = utc(2026, 12, 7, 7, 50), week = 7 * ical::kSecondsPerDay;
    EXPECT_EQ(items.load(file, alarm + kReminderLinger - 1).reminder.alarm->at, alarm);
    EXPECT_EQ(items.load(file, alarm + kReminderLinger).reminder.alarm->at, alarm + week);
    EXPECT_EQ(items.load(file, alarm - 3600).reminder.alarm->at, alarm) << "an earlier moment";
    const Reminder last = items.load(file, alarm + 2 * week).reminder;
    EXPECT_EQ(last.alarm->at, alarm + week) << "the last one stays once all have passed";
    EXPECT_FALSE(last.movesAt);
}

TEST_F(Calendar, TheReminderLingersThenMovesToTheNextOccurrence) {
    add({.summary = "Standup",
         .start = utc(2026, 12, 7, 8, 0),
         .zone = "Europe/Berlin",
         .alarmMinutesBefore = 10,
         .rule = "FREQ=WEEKLY"},
        "weekly");
    const auto weekly = item("weekly").appointment;
    ASSERT_TRUE(weekly);
    const std::int64_t alarm = utc(2026, 12, 7, 7, 50);
    Reminder reminder = reminderOf(*weekly, alarm + kReminderLinger - 1);
    EXPECT_EQ(reminder.alarm->at, alarm);
    EXPECT_EQ(reminder.movesAt, alarm + kReminderLinger);
    reminder = reminderOf(*weekly, alarm + kReminderLinger);
    EXPECT_EQ(reminder.alarm->at, alarm + 7 * ical::kSecondsPerDay);
    EXPECT_EQ(weekly->zoneDescription(*reminder.alarm->event, reminder.alarm->at),
              "(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna");

    // Once the last alarm has passed it stays, and nothing moves any more.
    add({.summary = "Once", .start = utc(2026, 12, 7, 8, 0), .alarmMinutesBefore = -5}, "once");
    reminder = reminderOf(*item("once").appointment, utc(2027, 1, 1, 0, 0));
    EXPECT_EQ(reminder.alarm->at, utc(2026, 12, 7, 8, 5));
    EXPECT_FALSE(reminder.movesAt);

    add({.summary = "Silent", .start = utc(2026, 12, 7, 8, 0)}, "silent");
    EXPECT_FALSE(reminderOf(*item("silent").appointment, 0).alarm);
}

TEST_F(Calendar, AnItemPastItsLimitsIsReportedOnceAndItsNeighboursRemindAsEver) {
    const std::string start = "20261210T100000";
    store.putCalendarFile(folder, ical::hostile::zoneOfManyObservances(start), "zone");
    store.putCalendarFile(folder, ical::hostile::manyRepeatedAlarms(start), "alarms");
    store.putCalendarFile(folder, ical::hostile::everySecond(start, true), "second");
    add({.summary = "Review", .start = utc(2026, 12, 10, 11, 0), .alarmMinutesBefore = 15}, "good");
    std::vector<std::string> reported;
    items.onPastLimits([&](const CalendarFile& file) { reported.push_back(file.name); });
    for (std::int64_t now : {utc(2026, 12, 10, 10, 30), utc(2026, 12, 10, 10, 40)}) {
        for (const CalendarFile& file : store.calendarFiles(folder)) {
            const auto began = std::chrono::steady_clock::now();
            const CalendarItem loaded = items.load(file, now);
            EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(1500))
                << file.name;
            // Every second for 31 years is served within the limits: its rule skips ahead.
            EXPECT_EQ(loaded.pastLimits, file.name == "zone" || file.name == "alarms") << file.name;
            if (file.name != "zone")
                EXPECT_GE(loaded.reminder.alarm->at, now - kReminderLinger) << file.name;
        }
        EXPECT_EQ(item("good").reminder.alarm->at, utc(2026, 12, 10, 10, 45));
    }
    std::sort(reported.begin(), reported.end());
    EXPECT_EQ(reported, (std::vector<std::string>{"alarms", "zone"}));
}

TEST_F(Calendar, AnAlarmSwitchedOffKeepsItsTime) {
    add({.summary = "Off",
         .start = utc(2027, 7, 1, 14, 0),
         .alarmMinutesBefore = 15,
         .alarmOff = true},
        "off");
    add({.summary = "On", .start = utc(2027, 7, 1, 14, 0), .alarmMinutesBefore = 15}, "on");
    const Reminder off = item("off").reminder;
    ASSERT_TRUE(off.alarm);
    EXPECT_EQ(off.alarm->at, utc(2027, 7, 1, 13, 45));
    EXPECT_TRUE(off.alarm->off);
    EXPECT_FALSE(item("on").reminder.alarm->off);
}

TEST_F(Calendar, AppointmentsAreWrittenInTheirZone) {
    // 14:00 UTC in July is 16:00 in Berlin's summer time, 19:30 in Kolkata.
    add({.summary = "Call; \"quoted\", with commas",
         .location = "Caf\xc3\xa9 Central",
         .start = utc(2027, 7, 1, 14, 0),
         .zone = "Europe/Berlin",
         .alarmMinutesBefore = 15},
        "summer");
    const auto summer = item("summer").appointment;
    ASSERT_TRUE(summer);
    EXPECT_EQ(summer->event().start.wall, utc(2027, 7, 1, 16, 0));
    EXPECT_EQ(summer->event().summary, "Call; \"quoted\", with commas");
    EXPECT_EQ(summer->event().location, "Caf\xc3\xa9 Central");
    EXPECT_EQ(summer->nextAlarm(0)->at, utc(2027, 7, 1, 13, 45));
    EXPECT_EQ(summer->zoneDescription(summer->event(), utc(2027, 7, 1, 13, 45)),
              "(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna");

    add({.summary = "Fixed", .start = utc(2027, 7, 1, 14, 0), .zone = "+05:30"}, "fixed");
    EXPECT_EQ(item("fixed").appointment->event().start.wall, utc(2027, 7, 1, 19, 30));

    std::string error;
    EXPECT_FALSE(composeAppointment({.summary = "x", .zone = "Mars/Olympus"}, error));
    EXPECT_NE(error.find("Mars/Olympus"), std::string::npos);
}

} // namespace
