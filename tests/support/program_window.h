// The program's state and its notification window in the test's own process, with the shell's
// tray call replaced by a recorder (the tray is not observable from outside under Wine).
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <vector>

namespace wt {

// A tray call seen through the seam, with the time it was made.
struct TrayCall {
    DWORD action;
    NOTIFYICONDATAA data;
    ULONGLONG at;
};
std::vector<TrayCall> trayCalls();
void clearTrayCalls();

class ProgramWindow {
public:
    ProgramWindow();  // a fresh state record, the tray icons and the hidden window
    ~ProgramWindow(); // destroys the window, drops its quit message, restores the shell call
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;

    HWND window = nullptr;
};

} // namespace wt
