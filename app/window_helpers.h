// Small window helpers shared by start-up, the splash and the notification window.
#pragma once
#include <windows.h>
#include <cstdint>

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
