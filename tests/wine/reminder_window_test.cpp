// The reminder window in the test's own process: its place, its three lines, what closes it,
// and the coloured date line.
#include "calendar/reminder_text.h"
#include "calendar/reminder_window.h"
#include "program_window.h"
#include "reminder_windows.h"
#include "res/resource.h"
#include "wine_test.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

class ReminderWindow : public ::testing::Test {
protected:
    ~ReminderWindow() override {
        wt::closeReminders(GetCurrentProcessId());
        for (HANDLE thread : threads) {
            EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0) << "its thread ends";
            CloseHandle(thread);
        }
    }

    // Starts a window thread as the clock does, with a block of the given lines.
    void open(const char* subject, const char* location, const char* date) {
        char* block = new char[reminderBlockSize];
        writeReminderBlock(block, subject, location, date);
        threads.push_back(CreateThread(nullptr, 0, reminderWindowThread, block, 0, nullptr));
    }

    wt::ProgramWindow program;
    std::vector<HANDLE> threads;
    const DWORD self = GetCurrentProcessId();
};

TEST_F(ReminderWindow, ShowsTheThreeLinesTopmostAtTwentyTwenty) {
    open("Dentist", "Main Street 4", "Date & Time : 17-06-2026  09:05");
    const auto windows = wt::waitForReminders(self, 1);
    ASSERT_EQ(windows.size(), 1u);
    const wt::ReminderLines lines = wt::reminderLines(windows[0]);
    EXPECT_EQ(lines.appointment, "Appointment: Dentist");
    EXPECT_EQ(lines.location, "Location: Main Street 4");
    EXPECT_EQ(lines.date, "Date & Time : 17-06-2026  09:05");

    RECT frame{};
    GetWindowRect(windows[0], &frame);
    EXPECT_EQ(frame.left, 20);
    EXPECT_EQ(frame.top, 20);
    EXPECT_TRUE(GetWindowLongA(windows[0], GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(ReminderWindow, OnlyOkClosesIt) {
    open("Dentist", "", "");
    const auto windows = wt::waitForReminders(self, 1);
    ASSERT_EQ(windows.size(), 1u);
    HWND window = windows[0];
    HWND ok = GetDlgItem(window, IDOK);
    PostMessageA(ok, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(ok, WM_KEYUP, VK_ESCAPE, 0);
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0); // the caption's close box
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    wt::pumpFor(500);
    EXPECT_TRUE(IsWindowVisible(window)) << "Escape and the close box leave it open";

    PostMessageA(window, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitForSingleObject(threads[0], 5000), WAIT_OBJECT_0) << "the thread ends with it";
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(ReminderWindow, EachReminderHasItsOwnWindowTheNewestOnTop) {
    open("First", "", "");
    ASSERT_EQ(wt::waitForReminders(self, 1).size(), 1u);
    open("Second", "", "");
    // Shown first, then raised to the top of the topmost windows: wait for the raise.
    std::vector<HWND> windows;
    EXPECT_TRUE(wt::pumpUntil([&] {
        windows = wt::reminderWindows(self);
        return windows.size() == 2 &&
               wt::reminderLines(windows[0]).appointment == "Appointment: Second";
    }));
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(wt::reminderLines(windows[1]).appointment, "Appointment: First");

    PostMessageA(windows[0], WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(wt::pumpUntil([&] { return wt::reminderWindows(self).size() == 1; }));
    EXPECT_EQ(wt::reminderWindows(self)[0], windows[1]) << "closing one leaves the other";
}

TEST_F(ReminderWindow, DateLineIsCyanOnTheLightGreyGround) {
    open("Dentist", "", "Date & Time : 17-06-2026  09:05");
    const auto windows = wt::waitForReminders(self, 1);
    ASSERT_EQ(windows.size(), 1u);
    HWND date = GetDlgItem(windows[0], IDC_REMINDER_DATE);
    wt::Pixels pixels;
    const auto cyan = [&] {
        for (uint32_t value : pixels.rgb)
            if (value == 0x00FFFF)
                return true;
        return false;
    };
    ASSERT_TRUE(wt::pumpUntil([&] {
        RedrawWindow(windows[0], nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        pixels = wt::clientPixels(date);
        return cyan();
    })) << "the date line is drawn in cyan";
    EXPECT_EQ(pixels.at(pixels.width - 1, 0), 0xC0C0C0u) << "on the light-grey stock brush";
    EXPECT_EQ(wt::clientPixels(windows[0]).at(2, 2), 0xC0C0C0u) << "the dialog's own ground";
}

// The agenda picture, also in a window opened after an earlier one was closed.
TEST_F(ReminderWindow, EveryWindowShowsTheAgendaPicture) {
    open("First", "", "");
    ASSERT_EQ(wt::waitForReminders(self, 1).size(), 1u);
    wt::closeReminders(self);
    open("Second", "", "");
    const auto windows = wt::waitForReminders(self, 1);
    ASSERT_EQ(windows.size(), 1u);

    HBITMAP agenda = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_AGENDA));
    const wt::Pixels expected = wt::bitmapPixels(agenda);
    DeleteObject(agenda);
    ASSERT_GT(expected.width, 0);

    HWND picture = GetDlgItem(windows[0], -1);
    wt::Pixels shown;
    EXPECT_TRUE(wt::pumpUntil([&] {
        RedrawWindow(picture, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        shown = wt::clientPixels(picture);
        if (shown.width < expected.width || shown.height < expected.height)
            return false;
        for (int y = 0; y < expected.height; ++y)
            for (int x = 0; x < expected.width; ++x)
                if (shown.at(x, y) != expected.at(x, y))
                    return false;
        return true;
    })) << "shown "
        << shown.width << " x " << shown.height;
}

// A shared calendar reminding of 500 meetings at once, twice over: the second 500 leave nothing
// behind. The first may leave what Wine keeps of its peak (freed heap, a few display images),
// whatever the program does; a window's own leftovers would grow with every round.
TEST_F(ReminderWindow, FiveHundredWindowsClosedLeaveNothingBehind) {
    constexpr size_t many = 500, perWindow = 4096; // a window's picture alone is 14 KB
    const auto openAndClose = [&] {
        for (size_t i = 0; i < many; ++i) {
            char* block = new char[reminderBlockSize];
            writeReminderBlock(block, "Meeting", "Room 4", "Date & Time : 17-06-2026  09:05");
            showReminder(block);
        }
        ASSERT_EQ(wt::waitForReminders(self, many, 120000).size(), many);
        wt::closeReminders(self, 120000);
        ASSERT_TRUE(wt::reminderWindows(self).empty());
    };
    openAndClose();
    wt::pumpFor(500);
    const size_t resident = wt::residentBytes(GetCurrentProcess());
    openAndClose();
    wt::pumpFor(500);
    const size_t after = wt::residentBytes(GetCurrentProcess());
    std::printf("resident after 500 windows %zu KB, after 500 more %zu KB\n", resident >> 10,
                after >> 10);
    EXPECT_LE(after, resident + many * perWindow);
}

} // namespace
