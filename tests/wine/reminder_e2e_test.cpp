// The real tavinel.exe with calendar reminders against a kit store: appointments added, changed
// and removed from outside while it runs, and the reminder windows it opens.
#include "kit_store.h"
#include "reminder_windows.h"
#include "res/resource.h"
#include "wine_test.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>

namespace {

constexpr std::int64_t minute = 60, hour = 3600;

class Reminders : public ::testing::Test {
protected:
    void SetUp() override { key.writeValid(); }
    void TearDown() override {
        if (program && program->running())
            wt::closeReminders(program->id());
        wt::exitProgram(program, window);
    }
    void start() {
        window = wt::startProgram(program);
        ASSERT_NE(window, nullptr);
    }
    // An appointment reminding at `reminder`, 15 minutes before it starts.
    std::string add(const std::string& summary, std::int64_t reminder,
                    const std::string& location = "Room 4", const std::string& name = {},
                    const std::string& zone = "UTC") {
        return store.addAppointment({.summary = summary,
                                     .location = location,
                                     .start = reminder + 15 * minute,
                                     .minutes = 30,
                                     .zone = zone,
                                     .alarmMinutesBefore = 15,
                                     .rule = {}},
                                    name);
    }
    static std::int64_t now() { return std::int64_t(std::time(nullptr)); }

    wt::ConfigurationKey key;
    wt::KitStore store;
    std::unique_ptr<wt::Process> program;
    HWND window = nullptr;
};

TEST_F(Reminders, ChangesMadeWhileItRunsDecideWhatReminds) {
    key.setNumber("Calendar", 1);
    start();
    const std::int64_t soon = now() + 8;
    add("Dentist", soon, "Main Street 4", {}, "+01:00");
    const std::string movedUp = add("Moved up", soon + hour);
    const std::string postponed = add("Postponed", soon);
    const std::string removed = add("Removed", soon);
    wt::pumpFor(300);
    add("Moved up", soon, "Room 12", movedUp); // each change is also of another length
    add("Postponed", soon + hour, "Room 12", postponed);
    store.removeAppointment(removed);

    const auto windows = wt::waitForReminders(program->id(), 2, 90000);
    ASSERT_EQ(windows.size(), 2u);
    wt::pumpFor(1500);
    ASSERT_EQ(wt::reminderWindows(program->id()).size(), 2u) << "nothing else reminds";
    HWND dentist = nullptr;
    for (HWND w : windows)
        if (wt::reminderLines(w).appointment == "Appointment: Dentist")
            dentist = w;
        else
            EXPECT_EQ(wt::reminderLines(w).appointment, "Appointment: Moved up");
    ASSERT_NE(dentist, nullptr);
    EXPECT_EQ(wt::reminderLines(dentist).location, "Location: Main Street 4");
    EXPECT_EQ(wt::reminderLines(dentist).date, wt::expectedDateLine(soon, hour));

    RECT frame{};
    GetWindowRect(dentist, &frame);
    EXPECT_EQ(frame.left, 20);
    EXPECT_EQ(frame.top, 20);
    EXPECT_TRUE(GetWindowLongA(dentist, GWL_EXSTYLE) & WS_EX_TOPMOST);

    PostMessageA(GetDlgItem(dentist, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(dentist, WM_SYSCOMMAND, SC_CLOSE, 0);
    wt::pumpFor(500);
    EXPECT_TRUE(IsWindowVisible(dentist)) << "Escape and the close box leave it open";
    wt::clickButton(dentist, IDOK);
    EXPECT_TRUE(wt::pumpUntil([&] { return !IsWindow(dentist); }));
    EXPECT_EQ(wt::reminderWindows(program->id()).size(), 1u);
}

// The clock's wait does not count the time asleep: without a pass on resume, a reminder due
// during the sleep would show up to 20 seconds late.
TEST_F(Reminders, ResumeFromSleepAnnouncesTheReminderDueMeanwhileAtOnceAndOnce) {
    key.setNumber("Calendar", 1);
    const std::int64_t due = now() + 10;
    add("Standup", due);
    start();
    const ULONGLONG clockStarted = GetTickCount64(); // a little after the clock's start
    ASSERT_LT(now(), due) << "the program started too slowly for this test";
    wt::pumpUntil([&] { return now() > due; }, 15000);
    EXPECT_TRUE(wt::reminderWindows(program->id()).empty()) << "the clock waits";
    PostMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    const ULONGLONG resumed = GetTickCount64();
    ASSERT_EQ(wt::waitForReminders(program->id(), 1, 15000).size(), 1u);
    EXPECT_LT(GetTickCount64() - resumed, 3000u);
    EXPECT_LT(GetTickCount64() - clockStarted, 15000u) << "before the clock's own pass";
    wt::pumpUntil([&] { return GetTickCount64() - clockStarted > 22000; }, 25000);
    EXPECT_EQ(wt::reminderWindows(program->id()).size(), 1u) << "the next pass shows no other";
}

// A sync tool rewriting an unrelated item more often than the clock's pass interval: each
// rewrite reloads the table, and the reminder must not wait for a quiet moment.
TEST_F(Reminders, ACalendarRewrittenEveryTwoSecondsStillRemindsOnTimeAndOnce) {
    key.setNumber("Calendar", 1);
    const std::string busy = add("Busy", now() + hour);
    start();
    const std::int64_t due = now() + 5;
    add("Standup", due);
    std::int64_t shownAt = 0;
    for (int rewrite = 1; now() < due + 30; ++rewrite) {
        // The program may be reading the file at that moment: replacing it is then refused,
        // and tried again as a sync tool would.
        for (int attempt = 0; attempt < 20; ++attempt)
            try {
                add("Busy", now() + hour + rewrite * minute, "Room 4", busy);
                break;
            } catch (const std::exception&) {
                Sleep(50);
            }
        if (wt::pumpUntil([&] { return !wt::reminderWindows(program->id()).empty(); }, 2000) &&
            !shownAt)
            shownAt = now();
        if (shownAt && now() > shownAt + 6)
            break; // a few more rewrites after it, for a second window that must not come
    }
    ASSERT_NE(shownAt, 0) << "never shown while the calendar kept changing";
    EXPECT_LE(shownAt, due + 20 + 3) << "a pass at most 20 s after the previous one";
    const auto windows = wt::reminderWindows(program->id());
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(wt::reminderLines(windows[0]).appointment, "Appointment: Standup");
}

// A shared room calendar synced into the store, reminding of 500 meetings in one minute: every
// window opens, on no thread of its own, the program goes on answering and announcing mail, and
// once they are closed it holds no more threads than before. (That a window left open holds up
// no later reminder is the calendar test's; what closed windows leave in memory is the reminder
// window test's, since Wine keeps part of its first peak whatever the program does.)
TEST_F(Reminders, FiveHundredInOneMinuteAllOpenAndLeaveNoThreadBehind) {
    constexpr size_t many = 500;
    key.setNumber("Calendar", 1);
    // A minute of their own, after the first reminder's: that one, and a first mail, start what
    // lives with the program once used (the reminder windows' thread), before it is counted.
    const std::int64_t first = now() + 25, meetings = (first / minute + 1) * minute + 5;
    for (size_t i = 0; i < many; ++i)
        add("Meeting " + std::to_string(i), meetings);
    add("First", first);
    start();
    ASSERT_LT(now(), first) << "the program started too slowly for this test";
    store.deliver("bob@example.org", "Before the meetings", "Text");
    // A resume makes the clock's pass at once, instead of at its next 20-second step.
    wt::pumpUntil([&] { return now() > first; }, 20000);
    PostMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ASSERT_EQ(wt::waitForReminders(program->id(), 1, 15000).size(), 1u);
    wt::closeReminders(program->id());
    wt::pumpFor(1000);
    const size_t threads = wt::threadCount(program->id());
    const size_t resident = wt::residentBytes(program->handle());
    ASSERT_GT(resident, 0u);

    wt::pumpUntil([&] { return now() >= meetings / minute * minute; }, 90000);
    PostMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ASSERT_EQ(wt::waitForReminders(program->id(), many, 300000).size(), many);
    const size_t threadsOpen = wt::threadCount(program->id());
    const size_t residentOpen = wt::residentBytes(program->handle());
    EXPECT_EQ(threadsOpen, threads) << "no thread for any window";
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
    store.deliver("Ann Example <ann@example.org>", "After the meetings", "Text");
    EXPECT_TRUE(wt::pumpUntil(
        [&] { return wt::controlText(window, IDC_SUBJECT) == "After the meetings"; }, 30000));
    EXPECT_TRUE(IsWindowVisible(window));

    wt::closeReminders(program->id(), 120000);
    ASSERT_TRUE(wt::reminderWindows(program->id()).empty());
    wt::pumpFor(2000);
    const size_t threadsAfter = wt::threadCount(program->id());
    const size_t residentAfter = wt::residentBytes(program->handle());
    std::printf("threads %zu, %zu with the windows open, %zu after; resident %zu KB, %zu KB, "
                "%zu KB\n",
                threads, threadsOpen, threadsAfter, resident >> 10, residentOpen >> 10,
                residentAfter >> 10);
    EXPECT_EQ(threadsAfter, threads);
    ASSERT_TRUE(program->running());
}

TEST_F(Reminders, NothingWhenCalendarRemindersAreOff) {
    add("Dentist", now() + 5);
    start();
    add("Standup", now() + 5);
    // With reminders on, both would show at the clock's first pass, 20 seconds after start.
    wt::pumpFor(30000);
    EXPECT_TRUE(wt::reminderWindows(program->id()).empty());
}

} // namespace
