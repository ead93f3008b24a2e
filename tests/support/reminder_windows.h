// The reminder windows that a process shows, read and closed from the test.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace wt {

inline constexpr char reminderTitle[] = "Appointement Reminder";

struct ReminderLines {
    std::string appointment;
    std::string location;
    std::string date;
};

// Open reminder windows of the process, topmost first.
std::vector<HWND> reminderWindows(DWORD processId);
// Waits until the process shows `count` reminder windows; the windows then open, topmost
// first (none when the count was not reached).
std::vector<HWND> waitForReminders(DWORD processId, size_t count, DWORD timeoutMs = 10000);
ReminderLines reminderLines(HWND window);
// Presses OK in every open reminder window of the process and waits until they are gone.
void closeReminders(DWORD processId, DWORD timeoutMs = 5000);
// The date line that a reminder at `unix` shows in a zone `offset` seconds east of Greenwich,
// written out with the C library's own calendar.
std::string expectedDateLine(long long unix, long long offset);

} // namespace wt
