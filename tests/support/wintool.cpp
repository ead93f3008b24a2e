// A small command-line tool that the run script and benchmarks use to drive the program from
// outside, as the shell and a user would.
//   wintool wait TITLE [ms]          waits until a top-level window with that title exists
//   wintool command TITLE ID         posts the menu command ID to the window
//   wintool tray TITLE left|right    posts the tray icon's mouse message to the window
//   wintool text TITLE ID            prints the text of control ID of the window
//   wintool click TITLE [ID]         clicks control ID of the window, or the window itself
//   wintool rect TITLE               prints the window's frame as WIDTHxHEIGHT+X+Y
#include "wine_test.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
int usage() {
    std::fprintf(stderr, "usage: wintool wait TITLE [ms] | command TITLE ID | "
                         "tray TITLE left|right | text TITLE ID | click TITLE [ID] | "
                         "rect TITLE\n");
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return usage();
    const std::string verb = argv[1];
    const DWORD timeout = verb == "wait" && argc > 3 ? DWORD(std::atol(argv[3])) : 10000;
    HWND window = wt::waitForWindow(argv[2], 0, timeout);
    if (!window) {
        std::fprintf(stderr, "wintool: no window \"%s\"\n", argv[2]);
        return 1;
    }
    if (verb == "wait")
        return 0;
    if (verb == "rect") {
        RECT frame{};
        GetWindowRect(window, &frame);
        std::printf("%ldx%ld+%ld+%ld\n", frame.right - frame.left, frame.bottom - frame.top,
                    frame.left, frame.top);
        return 0;
    }
    if (verb == "click" && argc == 3) {
        PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        PostMessageA(window, WM_LBUTTONUP, 0, 0);
        return 0;
    }
    if (argc < 4)
        return usage();
    if (verb == "command") {
        PostMessageA(window, WM_COMMAND, WPARAM(std::atol(argv[3])), 0);
    } else if (verb == "tray") {
        wt::postTrayMouse(window,
                          std::strcmp(argv[3], "right") == 0 ? WM_RBUTTONDOWN : WM_LBUTTONDOWN);
    } else if (verb == "click") {
        wt::clickButton(window, std::atoi(argv[3]));
    } else if (verb == "text") {
        std::printf("%s\n", wt::controlText(window, std::atoi(argv[3])).c_str());
    } else {
        return usage();
    }
    return 0;
}
