// Private window and thread messages, in one place.
#pragma once
#include <windows.h>

// Posted to the splash thread by start-up once the mail session is open.
inline constexpr UINT WM_SPLASH_CLOSE = WM_USER + 1; // 1025

// The shell's callback for mouse actions on the tray icon; lParam carries the mouse message.
inline constexpr UINT WM_TRAY_CALLBACK = WM_USER + 2; // 1026

// Posted to the notification window after the tray pop-up menu returns, so that the shell
// notices the menu is gone (the classic TrackPopupMenu workaround).
inline constexpr UINT WM_TRAY_MENU_DONE = WM_USER; // 1024
