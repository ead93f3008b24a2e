// Helpers for tests that run under Wine: message pumping, finding and reading windows (also
// of another process), the tray callback, message boxes, child processes and the registry.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace wt {

// Dispatches this thread's messages until `done` holds or the time runs out; returns `done()`.
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
void pumpFor(DWORD milliseconds);

// Top-level windows, hidden ones included. A process id of 0 matches any process; a null
// class matches any class.
HWND findWindow(const char* title, DWORD processId = 0, const char* className = nullptr);
HWND waitForWindow(const char* title, DWORD processId = 0, DWORD timeoutMs = 10000,
                   const char* className = nullptr);
std::vector<HWND> topLevelWindows(DWORD processId);
// A dialog box ("#32770") once it is shown: a modal dialog appears only after its
// initialisation, while the window itself exists, without controls, before it.
HWND waitForDialog(const char* title, DWORD processId, DWORD timeoutMs = 10000);

// Texts through WM_GETTEXT, which the system marshals between processes.
std::string windowText(HWND window);
std::string controlText(HWND dialog, int controlId);

// Whether the shell shows any tray icon: Wine's stand-alone tray window is visible exactly
// while it holds icons.
bool trayShowsIcons();

// A list view's item text, also in another process (read through memory of that process).
std::string listViewText(HWND list, int item, int subItem);
int listViewCount(HWND list);

// What the shell sends when the user clicks the tray icon.
void postTrayMouse(HWND window, UINT mouseMessage);

struct MessageBoxText {
    std::string caption;
    std::string text;
    HICON icon{}; // as the box shows it; comparable with LoadIcon(nullptr, ...) in-process
};
// Waits for a message box of the process, reads it and presses its first button. With an owner,
// only a box owned by that window counts (a dialog of the process is a "#32770" too).
std::optional<MessageBoxText> dismissMessageBox(DWORD processId, DWORD timeoutMs = 10000,
                                                HWND owner = nullptr);

// Dialog controls, also of another process. A click is posted, as the mouse would deliver it,
// so a click that opens a modal box does not block the caller.
void clickButton(HWND dialog, int controlId);
bool isChecked(HWND dialog, int controlId);
bool isEnabled(HWND dialog, int controlId);

// The client area of a window of this process as it is on screen, one 0xRRGGBB value a pixel,
// row by row from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[size_t(y) * width + x]; }
};
Pixels clientPixels(HWND window);
Pixels bitmapPixels(HBITMAP bitmap);

// A child process that is killed if the test leaves it running.
class Process {
public:
    Process(const std::string& exe, const std::string& arguments = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    DWORD id() const { return info_.dwProcessId; }
    HANDLE handle() const { return info_.hProcess; }
    bool running() const;
    // The exit code, or nothing when the process still runs after the time-out.
    std::optional<DWORD> waitForExit(DWORD timeoutMs = 10000);

private:
    PROCESS_INFORMATION info_{};
};

// What a running process holds: its threads, and its resident memory (the working set; under
// Wine the resident size of the process that hosts it).
size_t threadCount(DWORD processId);
size_t residentBytes(HANDLE process);

// Waits until tavinel.exe has opened its mail session: its splash shows from before the session
// until after it. Returns the notification window, or nothing.
HWND waitForProgramReady(const Process& program, DWORD timeoutMs = 15000);

// Starts tavinel.exe (the one built beside the test, or `exe`) into `program` and returns its
// notification window once it is ready, or nothing.
HWND startProgram(std::unique_ptr<Process>& program, const std::string& exe = {});
// Asks a started tavinel.exe that still runs to exit through its menu command, and waits for it.
void exitProgram(const std::unique_ptr<Process>& program, HWND window);

// The folder of the running test executable, where tavinel.exe is built too.
std::string binaryDir();
std::string tavinelExe();

// The program's configuration key, written the way the setup dialog writes it.
class ConfigurationKey {
public:
    ConfigurationKey();  // starts from an empty key
    ~ConfigurationKey(); // leaves no key behind
    static void remove();
    void setNumber(const char* name, DWORD value);
    void setText(const char* name, const std::string& text); // REG_SZ with its terminator
    void setRaw(const char* name, DWORD type, const void* data, DWORD size);
    // What is stored: a number only as a 4-byte REG_DWORD, a text only as REG_SZ.
    std::optional<DWORD> number(const char* name) const;
    std::optional<std::string> text(const char* name) const;
    bool has(const char* name) const;
    DWORD valueCount() const;
    // A configuration that loads: version 12, Outlook, nothing else switched on.
    void writeValid();

private:
    HKEY key_{};
};

} // namespace wt
