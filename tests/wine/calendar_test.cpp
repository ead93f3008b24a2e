// Calendar loading and the reminder clock in the test's own process, against a kit store, at
// moments the test gives: which reminders the table holds, when the clock announces them, and
// that each is announced exactly once across reloads and gaps.
#include "app/app_state.h"
#include "app/failure_trace.h"
#include "calendar/calendar_loading.h"
#include "calendar/calendar_reload.h"
#include "calendar/file_time.h"
#include "calendar/reminder_clock.h"
#include "calendar/reminder_text.h"
#include "mail/advise_sink.h"
#include "mail_fixture.h"
#include "mapi_test_support.h"
#include "reminder_windows.h"
#include "trace_recorder.h"
#include "wine_test.h"

#include <gtest/gtest.h>
#include <mapix.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::int64_t minute = 60, hour = 3600;
constexpr std::int64_t unixEpochInFileTime = 11644473600LL; // seconds from 1601 to 1970

Ticks ticksAt(std::int64_t unix) {
    return Ticks(unix + unixEpochInFileTime) * ticksPerSecond;
}

class Calendar : public ::testing::Test {
protected:
    // The kit's settings that the store reads when the session opens.
    virtual void configureKit() {}
    void SetUp() override {
        configureKit();
        ASSERT_EQ(kit.start(), 1);
        if (app->calendar)
            return; // the session looked for the calendar itself
        // No calendar sink: the test itself rebuilds the table, at the moments it chooses.
        const devkit::Bytes folder = kit.store.calendarId();
        app->calendarFolderId = new BYTE[folder.size()];
        std::copy(folder.begin(), folder.end(), app->calendarFolderId);
        app->calendarFolderIdSize = uint32_t(folder.size());
    }
    void TearDown() override {
        stopReminderClock();
        wt::closeReminders(self);
    }

    // An appointment whose reminder falls at `reminder` (Unix seconds), 15 minutes before it
    // starts.
    std::string add(const std::string& summary, std::int64_t reminder,
                    const std::string& zone = "UTC", const std::string& location = "Room 4",
                    const std::string& name = {}) {
        return kit.store.addAppointment({.summary = summary,
                                         .location = location,
                                         .start = reminder + 15 * minute,
                                         .minutes = 30,
                                         .zone = zone,
                                         .alarmMinutesBefore = 15,
                                         .rule = {}},
                                        name);
    }
    int load(std::int64_t unix) { return buildReminderTable(ticksAt(unix)); }
    bool pass(std::int64_t unix) { return reminderPass(ticksAt(unix)); }

    // The appointment lines of the open reminder windows, once those the last pass started
    // are all open.
    std::vector<std::string> shown(size_t expected) {
        wt::waitForReminders(self, expected, 5000);
        wt::pumpFor(300); // and no more than that
        std::vector<std::string> lines;
        for (HWND window : wt::reminderWindows(self))
            lines.push_back(wt::reminderLines(window).appointment);
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    using Lines = std::vector<std::string>;

    std::vector<devkit::Bytes> tableIds() const {
        std::vector<devkit::Bytes> ids;
        for (int i = 0; i < app->reminderCount; ++i)
            ids.emplace_back(app->reminderEntryIds.load()[i],
                             app->reminderEntryIds.load()[i] + app->reminderEntryIdSizes.load()[i]);
        return ids;
    }

    wt::MailFixture kit;
    const DWORD self = GetCurrentProcessId();
    // Midnight UTC three days ahead: every alarm of the test lies in the store's future.
    const std::int64_t day = (std::int64_t(std::time(nullptr)) / 86400 + 3) * 86400;
};

TEST_F(Calendar, TheTableHoldsTheComingRemindersInAscendingOrder) {
    const std::string later = add("Later", day + 14 * hour);
    const std::string sooner = add("Sooner", day + 10 * hour + 1);
    const std::string now = add("Now", day + 10 * hour);
    add("A second ago", day + 10 * hour - 1);
    devkit::NewAppointment noAlarm;
    noAlarm.summary = "No alarm";
    noAlarm.start = day + 12 * hour;
    kit.store.addAppointment(noAlarm);

    ASSERT_EQ(load(day + 10 * hour), 3);
    EXPECT_EQ(tableIds(), (std::vector<devkit::Bytes>{kit.store.appointmentId(now),
                                                      kit.store.appointmentId(sooner),
                                                      kit.store.appointmentId(later)}));
    EXPECT_EQ(ticksOf(app->reminderTimes.load()[0]), ticksAt(day + 10 * hour));
    EXPECT_EQ(ticksOf(app->reminderTimes.load()[2]), ticksAt(day + 14 * hour));

    EXPECT_TRUE(pass(day + 10 * hour + 20));
    EXPECT_EQ(shown(2), (Lines{"Appointment: Now", "Appointment: Sooner"}))
        << "the reminder that passed before the load is not announced";
}

// The clock reads the calendar on its own thread: an empty calendar leaves it waiting, and a
// change then asks it to read again.
TEST_F(Calendar, AnEmptyCalendarIsReadAgainWhenAnItemComes) {
    loadCalendar();
    wt::pumpFor(500);
    EXPECT_EQ(app->reminderCount, 0);
    add("Later", day + 9 * hour);
    reloadCalendar();
    EXPECT_TRUE(wt::pumpUntil([] { return app->reminderCount == 1; }));
}

TEST_F(Calendar, AReminderIsAnnouncedOnceInItsMinuteWithItsThreeLines) {
    const std::int64_t reminder = day + 23 * hour + 15 * minute + 50;
    add("Dentist", reminder, "+01:00", "Main Street 4");
    ASSERT_EQ(load(day + 23 * hour), 1);

    EXPECT_TRUE(pass(reminder - 51));
    EXPECT_EQ(shown(0), Lines{}) << "not in the minute before";
    EXPECT_TRUE(pass(reminder - 50));
    const auto windows = wt::waitForReminders(self, 1);
    ASSERT_EQ(windows.size(), 1u);
    const wt::ReminderLines lines = wt::reminderLines(windows[0]);
    EXPECT_EQ(lines.appointment, "Appointment: Dentist");
    EXPECT_EQ(lines.location, "Location: Main Street 4");
    EXPECT_EQ(lines.date, wt::expectedDateLine(reminder, hour)) << "the next day, at 00:15";
    EXPECT_EQ(lines.date.substr(26), "00:15");

    EXPECT_TRUE(pass(reminder - 30));
    EXPECT_TRUE(pass(reminder + 9));
    EXPECT_EQ(shown(1).size(), 1u) << "the later passes of the minute announce nothing";
}

TEST_F(Calendar, TheDateLineFollowsTheItemsZone) {
    struct Case {
        const char* zone;
        std::int64_t reminder;
        std::int64_t offset;
    };
    const Case cases[] = {{"-05:00", day + 2 * hour + 10 * minute, -5 * hour},
                          {"+05:30", day + 20 * hour + 45 * minute, 5 * hour + 30 * minute},
                          {"UTC", day + 21 * hour, 0}};
    for (const Case& c : cases)
        add(c.zone, c.reminder, c.zone);
    ASSERT_EQ(load(day), 3);
    for (const Case& c : cases) {
        pass(c.reminder);
        const auto windows = wt::waitForReminders(self, 1);
        ASSERT_EQ(windows.size(), 1u) << c.zone;
        EXPECT_EQ(wt::reminderLines(windows[0]).date, wt::expectedDateLine(c.reminder, c.offset))
            << c.zone;
        wt::closeReminders(self);
    }
}

// Midnight UTC of a day of next year: always in the store's future.
std::int64_t nextYear(int month, int day) {
    const std::time_t now = std::time(nullptr);
    std::tm at{};
    at.tm_year = std::gmtime(&now)->tm_year + 1;
    at.tm_mon = month - 1;
    at.tm_mday = day;
    return _mkgmtime(&at);
}

TEST_F(Calendar, TheDateLineIsTheWallClockTimeOfTheZoneSummerTimeIncluded) {
    struct Case {
        const char* zone;
        std::int64_t reminder;
        std::int64_t offset;
    };
    // In time order: each pass announces one.
    const Case cases[] = {{"Europe/Berlin", nextYear(1, 15) + 10 * hour, hour},
                          {"Europe/Berlin", nextYear(7, 15) + 10 * hour, 2 * hour},
                          {"America/New_York", nextYear(7, 15) + 11 * hour, -4 * hour},
                          {"Asia/Kolkata", nextYear(7, 15) + 12 * hour, 5 * hour + 30 * minute}};
    for (const Case& c : cases)
        add(c.zone, c.reminder, c.zone);
    ASSERT_EQ(load(day), 4);
    for (const Case& c : cases) {
        pass(c.reminder);
        const auto windows = wt::waitForReminders(self, 1);
        ASSERT_EQ(windows.size(), 1u) << c.zone;
        EXPECT_EQ(wt::reminderLines(windows[0]).date, wt::expectedDateLine(c.reminder, c.offset))
            << c.zone << " " << c.reminder;
        wt::closeReminders(self);
    }
}

TEST_F(Calendar, TwoRemindersOfOneMinuteAreAnnouncedInOnePassInTimeOrder) {
    const std::string second = add("Second", day + 14 * hour + 30 * minute + 50);
    const std::string first = add("First", day + 14 * hour + 30 * minute + 10);
    ASSERT_EQ(load(day + 14 * hour), 2);
    EXPECT_EQ(tableIds(), (std::vector<devkit::Bytes>{kit.store.appointmentId(first),
                                                      kit.store.appointmentId(second)}));
    pass(day + 14 * hour + 30 * minute + 5);
    EXPECT_EQ(shown(2), (Lines{"Appointment: First", "Appointment: Second"}));
    EXPECT_EQ(app->reminderFired.load()[0], 1);
    EXPECT_EQ(app->reminderFired.load()[1], 1);
}

TEST_F(Calendar, AReloadNeitherRepeatsNorLosesAReminder) {
    const std::int64_t t = day + 14 * hour + 30 * minute;
    add("Announced", t + 50);
    add("Between", t + 65);
    ASSERT_EQ(load(t), 2);
    pass(t + 20);
    ASSERT_EQ(shown(1), Lines{"Appointment: Announced"});

    // A reload later in the same minute: the announced reminder stays announced.
    ASSERT_EQ(load(t + 25), 2);
    pass(t + 45);
    EXPECT_EQ(shown(1), Lines{"Appointment: Announced"});

    // A reload after "Between" fell due, before any pass compared in its minute.
    ASSERT_EQ(load(t + 66), 2);
    pass(t + 86);
    EXPECT_EQ(shown(2), (Lines{"Appointment: Announced", "Appointment: Between"}));
    pass(t + 106);
    EXPECT_EQ(shown(2).size(), 2u);
}

TEST_F(Calendar, RemindersMissedDuringAGapAreAnnouncedOnceAtTheNextPass) {
    const std::int64_t t = day + 14 * hour;
    add("In the gap 1", t + 5 * minute);
    add("In the gap 2", t + 40 * minute);
    add("In the gap 3", t + 2 * hour);
    add("After the gap", t + 3 * hour);
    ASSERT_EQ(load(t), 4);
    pass(t + 20);
    EXPECT_EQ(shown(0), Lines{});

    pass(t + 2 * hour + 30); // the computer slept for two hours
    EXPECT_EQ(shown(3), (Lines{"Appointment: In the gap 1", "Appointment: In the gap 2",
                               "Appointment: In the gap 3"}));
    pass(t + 2 * hour + 50);
    EXPECT_EQ(load(t + 2 * hour + 55), 1) << "a reload after the gap keeps what is to come";
    pass(t + 2 * hour + 75);
    EXPECT_EQ(shown(3).size(), 3u);
}

TEST_F(Calendar, ChangedAndRemovedAppointments) {
    const std::int64_t t = day + 9 * hour;
    const std::string moved = add("Moved", t + 10 * minute);
    const std::string removed = add("Removed", t + 15 * minute);
    const std::string gone = add("Gone before the reload", t + 20 * minute);
    add("Kept", t + 20 * minute + 30);
    ASSERT_EQ(load(t), 4);

    add("Moved", t + 30 * minute, "UTC", "Room 12", moved);
    kit.store.removeAppointment(removed);
    ASSERT_EQ(load(t + 60), 3);
    pass(t + 10 * minute);
    pass(t + 15 * minute);
    EXPECT_EQ(shown(0), Lines{}) << "neither the old time nor the removed appointment";

    // Removed after the load, before its minute: the store opens it with deferred errors and
    // fails its first read; no window, it counts as announced, and the clock goes on.
    kit.store.removeAppointment(gone);
    ASSERT_EQ(tableIds()[0], kit.store.appointmentId(gone));
    EXPECT_TRUE(pass(t + 20 * minute + 40));
    EXPECT_EQ(shown(1), Lines{"Appointment: Kept"});
    EXPECT_EQ(app->reminderFired.load()[0], 1);
    pass(t + 30 * minute);
    EXPECT_EQ(shown(2), (Lines{"Appointment: Kept", "Appointment: Moved"}));
}

// A store that calls the calendar sink on a thread of its own: the change is handed to the
// window's thread, which has the clock reload, and the store's thread does not wait for it.
TEST_F(Calendar, ChangeReportedOnAnotherThreadIsHandedToTheWindowsThread) {
    add("Later", day + 9 * hour);
    AdviseSink sink(kit.window, AdviseSink::calendarSink);
    NOTIFICATION changed{};
    changed.ulEventType = fnevObjectCreated;
    std::thread([&] { sink.OnNotify(1, &changed); }).join();
    EXPECT_EQ(app->reminderCount, 0) << "nothing done on the store's thread";
    EXPECT_TRUE(wt::pumpUntil([] { return app->reminderCount == 1; }));
}

TEST_F(Calendar, NamesOfTheSameNumberInAnotherSetAreOtherProperties) {
    // The same three numbers in the public-strings set, known to the store after its own.
    const GUID publicStrings = {0x00020329, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    IMAPIFolder* folder = nullptr;
    ULONG type = 0;
    ASSERT_EQ(app->store.load()->OpenEntry(
                  app->calendarFolderIdSize, reinterpret_cast<ENTRYID*>(app->calendarFolderId),
                  nullptr, MAPI_MODIFY, &type, reinterpret_cast<IUnknown**>(&folder)),
              S_OK);
    for (LONG id : {0x8560, 0x8234, 0x8208}) {
        GUID set = publicStrings;
        MAPINAMEID name{&set, MNID_ID, {id}};
        MAPINAMEID* names[] = {&name};
        SPropTagArray* tags = nullptr;
        ASSERT_EQ(folder->GetIDsFromNames(1, names, MAPI_CREATE, &tags), S_OK);
        MAPIFreeBuffer(tags);
    }
    folder->Release();

    const std::int64_t reminder = day + 8 * hour;
    add("Standup", reminder, "+05:30", "Room 12");
    ASSERT_EQ(load(day), 1);
    pass(reminder);
    const auto windows = wt::waitForReminders(self, 1);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(wt::reminderLines(windows[0]).location, "Location: Room 12");
    EXPECT_EQ(wt::reminderLines(windows[0]).date,
              wt::expectedDateLine(reminder, 5 * hour + 30 * minute));
}

TEST_F(Calendar, AReminderTheUserSwitchedOffNeverReminds) {
    const std::int64_t reminder = day + 9 * hour + 30 * minute;
    add("Neighbour", reminder + 10);
    devkit::NewAppointment off;
    off.summary = "Switched off";
    off.start = reminder + 15 * minute;
    off.alarmMinutesBefore = 15;
    off.alarmOff = true;
    kit.store.addAppointment(off);
    ASSERT_EQ(load(day), 1);
    pass(reminder + 20);
    EXPECT_EQ(shown(1), Lines{"Appointment: Neighbour"});
}

TEST_F(Calendar, LongIdentifiersAndMissingTextsStillRemind) {
    const std::string name(200, 'n'); // the longest name the store gives an item
    const std::int64_t reminder = day + 7 * hour + 5 * minute;
    add("Long", reminder, "UTC", "", name);
    ASSERT_EQ(load(day), 1);
    EXPECT_EQ(tableIds()[0], kit.store.appointmentId(name));
    pass(reminder);
    const auto windows = wt::waitForReminders(self, 1);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(wt::reminderLines(windows[0]).appointment, "Appointment: Long");
    EXPECT_EQ(wt::reminderLines(windows[0]).location, "Location: ");
    EXPECT_EQ(wt::reminderLines(windows[0]).date, wt::expectedDateLine(reminder, 0));
}

TEST_F(Calendar, TheClockStopsAtOnceAndAReloadStartsAnother) {
    add("Far ahead", day + 10 * hour);
    loadCalendar();
    ASSERT_NE(app->reminderThread, nullptr);
    ASSERT_TRUE(wt::pumpUntil([] { return app->reminderCount == 1; }));
    const ULONGLONG before = GetTickCount64();
    stopReminderClock();
    EXPECT_LT(GetTickCount64() - before, 2000u) << "without waiting out the 20-second sleep";
    EXPECT_EQ(app->reminderThread, nullptr);

    add("Near", day + 9 * hour);
    loadCalendar();
    EXPECT_NE(app->reminderThread, nullptr);
    EXPECT_TRUE(wt::pumpUntil([] { return app->reminderCount == 2; })) << "the new clock loads";
}

// A shared room calendar reminding of many meetings in one minute: the windows share one thread
// (under Wine, a thread per window is a display connection per window, of which the X server
// allows about 256), and a window left open holds up no later reminder.
TEST_F(Calendar, ManyRemindersInOneMinuteShareOneThreadAndHoldUpNothing) {
    constexpr size_t many = 500;
    const std::int64_t reminder = day + 9 * hour;
    for (size_t i = 0; i < many; ++i)
        add("Meeting " + std::to_string(i), reminder);
    add("Later", reminder + 5 * minute);
    ASSERT_EQ(load(day), int(many) + 1);
    const size_t before = wt::threadCount(self);
    pass(reminder);
    EXPECT_EQ(wt::waitForReminders(self, many, 120000).size(), many);
    EXPECT_LE(wt::threadCount(self), before + 1) << "one thread for every window";

    pass(reminder + 5 * minute); // with every earlier window still open
    EXPECT_EQ(wt::waitForReminders(self, many + 1, 10000).size(), many + 1);
    wt::closeReminders(self);
    EXPECT_TRUE(wt::reminderWindows(self).empty());
    EXPECT_LE(wt::threadCount(self), before + 1);
}

// A store that refuses to list its named properties, as Exchange does for a profile online.
class CalendarWithoutNameListing : public Calendar {
protected:
    void configureKit() override { kit.store.setNameListing("refuse"); }
};

// A localized mailbox: its calendar is "Kalender", named in the store's
// PR_IPM_APPOINTMENT_ENTRYID.
class CalendarOfAnotherName : public Calendar {
protected:
    void configureKit() override {
        kit.store.renameCalendar("Kalender");
        app->calendar = 1; // the session looks for the calendar and watches it
    }
};

TEST_F(CalendarOfAnotherName, Reminds) {
    ASSERT_EQ(
        devkit::Bytes(app->calendarFolderId, app->calendarFolderId + app->calendarFolderIdSize),
        kit.store.calendarId());
    const std::int64_t reminder = day + 16 * hour;
    add("Termin", reminder);
    // The calendar is watched: the store serves the new item once its watch has read it, and
    // its change notice reloads the table; the test's own table is built after both.
    ASSERT_TRUE(wt::pumpUntil([&] { return load(day) == 1; }));
    wt::pumpFor(300);
    ASSERT_EQ(load(day), 1);
    pass(reminder);
    EXPECT_EQ(shown(1), Lines{"Appointment: Termin"});
}

// A store whose calls from the clock's thread return only once the main thread has dispatched
// a message, as a call marshalled to the thread that opened the store.
class CalendarWithMarshalledCalls : public Calendar {
protected:
    void configureKit() override { kit::setSetting(L"ForeignThreadCalls", "marshal"); }
    void TearDown() override {
        Calendar::TearDown();
        kit::setSetting(L"ForeignThreadCalls", {});
    }
};

TEST_F(CalendarWithMarshalledCalls, AReloadWhileTheClockIsInsideAStoreCallCompletes) {
    const std::int64_t now = std::time(nullptr);
    add("Due", now + 5);
    loadCalendar();
    ASSERT_TRUE(wt::pumpUntil([] { return app->reminderCount == 1; })) << "loaded by the clock";
    // Without dispatching: the clock's first pass, 20 s after its start, opens the due item
    // and waits in that call for this thread.
    Sleep(23000);
    EXPECT_TRUE(wt::reminderWindows(self).empty());
    const ULONGLONG before = GetTickCount64();
    reloadCalendar();
    EXPECT_LT(GetTickCount64() - before, 3000u);
    EXPECT_EQ(shown(1), Lines{"Appointment: Due"}) << "the clock's call went through, once";
}

TEST_F(CalendarWithoutNameListing, AnAppointmentStillRemindsOnceWithItsLocationAndTime) {
    wt::TraceRecorder trace;
    const std::int64_t reminder = day + 11 * hour + 5 * minute;
    add("Review", reminder, "-05:00", "Room 7");
    ASSERT_EQ(load(day), 1);
    EXPECT_TRUE(trace.saw("Tavinel: IMAPIProp::GetNamesFromIDs failed: 0x80040102\n"));
    pass(reminder);
    pass(reminder + 20);
    const auto windows = wt::waitForReminders(self, 1);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(wt::reminderLines(windows[0]).location, "Location: Room 7");
    EXPECT_EQ(wt::reminderLines(windows[0]).date, wt::expectedDateLine(reminder, -5 * hour));
    EXPECT_EQ(shown(1).size(), 1u);
}

TEST_F(Calendar, CalendarLoadingTracesItsFailedCalls) {
    add("Traced", day + 10 * hour);
    for (const char* call : {"IMAPITable::Restrict", "IMAPITable::QueryRows"}) {
        wt::TraceRecorder trace;
        kit.store.setFaults(std::string(call) + "#1=0x80004005");
        EXPECT_EQ(load(day), 0) << call;
        EXPECT_TRUE(trace.saw(std::string("Tavinel: ") + call + " failed: 0x80004005\n")) << call;
    }
    kit.store.setFaults({});
    EXPECT_EQ(load(day), 1);
}

// The calendar is read on the clock's thread, and the store reads an item outside its lock:
// a new mail is shown while the calendar's reading waits inside the store (held here between
// its check and its reading, as a slow disk or a costly item would hold it).
TEST_F(Calendar, ANewMailIsShownWhileTheCalendarIsBeingRead) {
    add("Later", day + 9 * hour);
    const HANDLE held = CreateEventW(nullptr, TRUE, FALSE, devkit::kReadHeldEvent);
    const HANDLE resume = CreateEventW(nullptr, TRUE, FALSE, devkit::kReadResumeEvent);
    ResetEvent(held);
    ResetEvent(resume);
    kit.store.setFaults("File::read#1=0x80004005"); // the item's reading: the mail is not read yet
    Sleep(300);                                     // the store follows its settings
    const std::string before = kit.senderLine();
    const ULONGLONG start = GetTickCount64();
    loadCalendar();
    EXPECT_EQ(WaitForSingleObject(held, 5000), DWORD(WAIT_OBJECT_0));
    kit.deliver("Ann <ann@example.org>", "While the calendar is read");
    EXPECT_TRUE(kit.waitForSenderLine(before, 5000));
    EXPECT_LT(GetTickCount64() - start, 1500u) << "the reading is held for 10 s";
    SetEvent(resume);
    EXPECT_TRUE(wt::pumpUntil([] { return app->reminderCount == 1; }));
    kit.store.setFaults({});
    CloseHandle(held);
    CloseHandle(resume);
}

} // namespace
