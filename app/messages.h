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

// Posted to the notification window by a sink that MAPI called on another thread: lParam
// carries a copy of the batch's new-mail identifiers (a MailBatch), which the window's thread
// handles and frees.
inline constexpr UINT WM_MAIL_BATCH = WM_APP + 1;
// Posted to the notification window by the calendar sink called on another thread: the
// calendar changed.
inline constexpr UINT WM_CALENDAR_CHANGED = WM_APP + 2;
// Posted to the reminder windows' thread by the reminder clock: lParam carries a reminder text
// block (allocated with new[]), which that thread shows in a window of its own and frees.
inline constexpr UINT WM_SHOW_REMINDER = WM_APP + 3;
