#include "reminder_windows.h"

#include <ctime>

#include "res/resource.h"
#include "wine_test.h"

namespace wt {

std::vector<HWND> reminderWindows(DWORD processId) {
    std::vector<HWND> found;
    // Enumeration runs from the top of the z-order down.
    for (HWND window : topLevelWindows(processId))
        if (IsWindowVisible(window) && windowText(window) == reminderTitle)
            found.push_back(window);
    return found;
}

std::vector<HWND> waitForReminders(DWORD processId, size_t count, DWORD timeoutMs) {
    std::vector<HWND> found;
    pumpUntil(
        [&] {
            found = reminderWindows(processId);
            return found.size() >= count;
        },
        timeoutMs);
    return found.size() >= count ? found : std::vector<HWND>{};
}

ReminderLines reminderLines(HWND window) {
    return {controlText(window, IDC_APPOINTMENT), controlText(window, IDC_LOCATION),
            controlText(window, IDC_REMINDER_DATE)};
}

void closeReminders(DWORD processId, DWORD timeoutMs) {
    for (HWND window : reminderWindows(processId))
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    pumpUntil([&] { return reminderWindows(processId).empty(); }, timeoutMs);
}

std::string expectedDateLine(long long unix, long long offset) {
    const __time64_t local = unix + offset;
    std::tm fields{};
    _gmtime64_s(&fields, &local);
    char line[64];
    std::strftime(line, sizeof line, "Date & Time : %d-%m-%Y  %H:%M", &fields);
    return line;
}

} // namespace wt
