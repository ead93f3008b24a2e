// Start-up, the main message loop and shutdown, and the small shared window helpers.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string_view>

// x, y, width, height in pixels.
struct Placement {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// Sets x and y so that a window of the given width and height is centred on the display.
void centerOnScreen(Placement& placement);

// The notification window's Close: clears mailPending, stops the clip, hides the window and
// trims the working set.
void hideNotificationWindow();

// Asks the system to remove as many pages as possible from the working set.
void trimWorkingSet();

// True when the command-line tail asks for the setup dialog: "INSTALL" in any letter case,
// and nothing else.
bool isInstallCommand(std::string_view commandTail);

// The program: start-up, message loop, shutdown. Returns the exit code, 0 on every path.
int runTavinel(HINSTANCE instance, const char* commandTail);
