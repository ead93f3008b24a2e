#include "tray_icon.h"

#include "app/messages.h"
#include "res/resource.h"

#include <cstring>

ShellNotifyIconFn shellNotifyIcon = &Shell_NotifyIconA;
std::atomic<const char*> trayTip{trayTipNormal};

NOTIFYICONDATAA trayIconData(HWND window, HICON icon) {
    NOTIFYICONDATAA data{};
    // The first version of the structure: what every shell since Windows 95 accepts, and the
    // right size for the build's pointer width.
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = trayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_CALLBACK;
    data.hIcon = icon;
    lstrcpynA(data.szTip, trayTip.load(), sizeof data.szTip);
    return data;
}

void loadTrayIcons(HINSTANCE instance, HICON (&icons)[4]) {
    const int groups[] = {IDI_ENVELOPE, IDI_BLANK, IDI_ENVELOPE_AGAIN, IDI_BLANK_AGAIN};
    for (int i = 0; i < 4; ++i)
        icons[i] = LoadIconA(instance, MAKEINTRESOURCEA(groups[i]));
}

BOOL updateTrayIcon(DWORD action, HWND window, HICON icon) {
    NOTIFYICONDATAA data = trayIconData(window, icon);
    return shellNotifyIcon(action, &data);
}
