// The development kit's reader as a test sees it from outside: its call log, in a file of the
// test's own, and the reader windows its server process opens.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace wt {

class KitReader {
public:
    KitReader();  // a fresh log; no fault switched on
    ~KitReader(); // closes every reader window, removes the log
    KitReader(const KitReader&) = delete;
    KitReader& operator=(const KitReader&) = delete;

    // The reader turns away this many automation calls, as a busy mail client does.
    void setRejectCalls(unsigned count) const;

    std::vector<std::string> log() const;
    void clearLog() const;
    // Waits for a line of the log that holds `text`.
    bool waitForLine(const std::string& text, DWORD timeoutMs = 10000) const;
    // Waits until the server has released every object it made.
    bool waitForNoObjects(DWORD timeoutMs = 10000) const;

    static std::vector<HWND> windows();
    static HWND waitForWindow(const std::string& title, DWORD timeoutMs = 10000);
    static void closeWindows();

private:
    std::wstring file_;
};

// An identifier as a mail client takes it: two upper-case hexadecimal digits a byte.
std::string hexText(const std::vector<unsigned char>& bytes);

} // namespace wt
