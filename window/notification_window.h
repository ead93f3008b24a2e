// The notification window: the main window, a modeless dialog from template 123.
#pragma once
#include <windows.h>

// Creates the window hidden; its initialisation adds the tray icon.
HWND createNotificationWindow(HINSTANCE instance);

INT_PTR CALLBACK notificationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The tray pop-up menu (first sub-menu of menu 113); loaded once, kept for the process.
extern HMENU trayMenu;

// Sizes at 96 DPI; the window scales them to the display.
inline constexpr int notificationWindowWidth = 400;
inline constexpr int collapsedHeight = 150;
inline constexpr int expandedHeight = 450;

// Shows the window topmost at its position in one of its two layouts.
void showLayout(HWND window, bool expanded);
