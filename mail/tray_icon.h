// The program's one icon in the notification area.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <atomic>

inline constexpr UINT trayIconId = 4097;

// The tip: "Tavinel", or what went wrong that the user should know about. Every call of
// trayIconData takes the present one, so that the blinking keeps it.
inline constexpr char trayTipNormal[] = "Tavinel";
inline constexpr char trayTipStoreSilent[] = "Tavinel: the message store does not answer";
extern std::atomic<const char*> trayTip;

// The description every caller fills the same way: window, identifier 4097, the callback
// message, the icon and the tip.
NOTIFYICONDATAA trayIconData(HWND window, HICON icon);

// Loads the four icons stepped through while blinking: envelope, blank, envelope, blank.
void loadTrayIcons(HINSTANCE instance, HICON (&icons)[4]);

// Adds, changes or deletes the icon (NIM_ADD, NIM_MODIFY, NIM_DELETE).
BOOL updateTrayIcon(DWORD action, HWND window, HICON icon);

// The shell call behind updateTrayIcon. Tests point it elsewhere to watch the icon, which the
// shell does not let anyone read back.
using ShellNotifyIconFn = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAA);
extern ShellNotifyIconFn shellNotifyIcon;
