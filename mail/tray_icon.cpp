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

// The notification area shows small icons: the group's image of the system's small-icon size
// (16 pixels, more at higher DPI), drawn for that size rather than the large one shrunk.
void loadTrayIcons(HINSTANCE instance, HICON (&icons)[4]) {
    const int groups[] = {IDI_ENVELOPE, IDI_BLANK, IDI_ENVELOPE_AGAIN, IDI_BLANK_AGAIN};
    const int width = GetSystemMetrics(SM_CXSMICON), height = GetSystemMetrics(SM_CYSMICON);
    for (int i = 0; i < 4; ++i) {
        // Not shared: a shared load finds whichever size of the group was loaded first. The
        // icons live as long as the process.
        icons[i] = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(groups[i]), IMAGE_ICON,
                                                 width, height, LR_DEFAULTCOLOR));
        if (!icons[i])
            icons[i] = LoadIconA(instance, MAKEINTRESOURCEA(groups[i]));
    }
}

BOOL updateTrayIcon(DWORD action, HWND window, HICON icon) {
    NOTIFYICONDATAA data = trayIconData(window, icon);
    return shellNotifyIcon(action, &data);
}
