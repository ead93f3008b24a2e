#include "notification_window.h"

#include "app/app_state.h"
#include "app/configuration.h"
#include "app/dpi.h"
#include "app/messages.h"
#include "app/resume.h"
#include "app/setup_dialog.h"
#include "app/splash.h"
#include "app/window_helpers.h"
#include "mail/advise_sink.h"
#include "mail/tray_icon.h"
#include "res/resource.h"
#include "window/delete_mail.h"
#include "window/history.h"
#include "window/read_mail.h"

#include <commctrl.h>

HMENU trayMenu = nullptr;

namespace {

HFONT windowFont = nullptr; // shared by four controls for the life of the process

void insertColumn(HWND list, int index, const char* text, int width) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(text);
    column.cx = scaled(width);
    SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

void initialise(HWND window) {
    scaleDialogToDisplay(window);
    // Nothing here is checked: the window works without an icon, menu, font or clip.
    updateTrayIcon(NIM_ADD, window, app->trayIcons[0]);
    trayMenu = GetSubMenu(LoadMenuA(app->instance, MAKEINTRESOURCEA(IDR_TRAY_MENU)), 0);

    windowFont = CreateFontA(scaled(8), 0, 0, 0, 0, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0,
                             "MS Sans Serif");
    app->senderLabel = GetDlgItem(window, IDC_SENDER);
    app->subjectLabel = GetDlgItem(window, IDC_SUBJECT);
    app->previewEdit = GetDlgItem(window, IDC_PREVIEW);
    for (HWND control : {app->senderLabel, app->subjectLabel, app->previewEdit})
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont), FALSE);
    app->historyList = GetDlgItem(window, IDC_HISTORY);
    app->animation = GetDlgItem(window, IDC_ANIMATION);
    SendMessageA(app->historyList, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont), FALSE);

    insertColumn(app->historyList, 0, "From", 100);
    insertColumn(app->historyList, 1, "Subject", 270);

    // Module 0: the control finds the clip in the module that created it, this program.
    SendMessageA(app->animation, ACM_OPENA, 0,
                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(IDR_CLIP)));
    app->expandedLayout = 0;
}

// Shared by the tray click and Open: collapsed size, the given layout recorded for the next
// new mail, the window shown and the clip playing.
void showWindow(HWND window, uint32_t expandedLayout) {
    showLayout(window, false);
    app->expandedLayout = expandedLayout;
    ShowWindow(window, SW_SHOW);
    SendMessageA(app->animation, ACM_PLAY, WPARAM(-1), MAKELPARAM(0, 0xFFFF));
}

void onTrayMouse(HWND window, LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONDOWN) {
        if (app->mailPending == 1)
            showWindow(window, 1);
    } else if (mouseMessage == WM_RBUTTONDOWN) {
        POINT cursor;
        GetCursorPos(&cursor);
        SetForegroundWindow(window);
        TrackPopupMenu(trayMenu, TPM_RIGHTALIGN | TPM_LEFTBUTTON | TPM_TOPALIGN, cursor.x, cursor.y,
                       0, window, nullptr);
        PostMessageA(window, WM_TRAY_MENU_DONE, 0, 0);
    }
}

void togglePause() {
    app->paused = app->paused ? 0 : 1;
    CheckMenuItem(trayMenu, ID_PAUSE, app->paused ? MF_CHECKED : MF_UNCHECKED);
}

// The whole wParam is compared, so only menu commands (notification code 0) do anything.
void onCommand(HWND window, WPARAM command) {
    switch (command) {
    case ID_EXPAND:
        showLayout(window, true);
        app->expandedLayout = 1;
        break;
    case ID_COLLAPSE:
        showLayout(window, false);
        app->expandedLayout = 0;
        break;
    case ID_CLOSE:
    case ID_CLOSE_SYNONYM:
        hideNotificationWindow();
        EndDialog(window, 1); // hides a modeless dialog without destroying it
        break;
    case ID_OPEN:
        showWindow(window, 0);
        break;
    case ID_READ_NOW:
    case ID_READ_NOW_SYNONYM:
        if (app->outlook == 1)
            readMailInOutlook(window);
        else
            startMailReader();
        break;
    case ID_READ_WITH_READER:
        startMailReader();
        break;
    case ID_DELETE:
    case ID_DELETE_SYNONYM:
        deleteMail(window);
        break;
    case ID_PAUSE:
        togglePause();
        break;
    case ID_CONFIGURE:
        // Nothing is started or stopped: new values count where they are next read.
        loadConfiguration();
        runSetupDialog();
        loadConfiguration();
        break;
    case ID_ABOUT:
        startSplashThread(app->instance); // stays until clicked
        break;
    case ID_EXIT:
        DestroyWindow(window);
        break;
    default:
        break;
    }
}

void onNotify(WPARAM control, const NMHDR* header) {
    if (control != IDC_HISTORY)
        return;
    if (header->code == UINT(LVN_INSERTITEM)) {
        // Every insertion leaves the top line selected and focused.
        LVITEMA item{};
        item.stateMask = 0x000F;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(header->hwndFrom, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
    } else if (header->code == UINT(NM_CLICK)) {
        showHistoryEntry(HistoryLine::focused);
    }
}

// Broadcast by the shell when it (re)creates the notification area: the icon must be added
// again, or the program can no longer be reached.
UINT taskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

} // namespace

void showLayout(HWND window, bool expanded) {
    SetWindowPos(window, HWND_TOPMOST, 0, 0, scaled(notificationWindowWidth),
                 scaled(expanded ? expandedHeight : collapsedHeight), SWP_NOMOVE | SWP_SHOWWINDOW);
}

HWND createNotificationWindow(HINSTANCE instance) {
    return CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_NOTIFICATION), nullptr,
                              notificationWindowProc, 0);
}

INT_PTR CALLBACK notificationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        initialise(window);
        return FALSE;
    case WM_CTLCOLORDLG:
        app->dialogWindow = reinterpret_cast<HWND>(lParam);
        return reinterpret_cast<INT_PTR>(GetStockObject(LTGRAY_BRUSH));
    case WM_TRAY_CALLBACK:
        onTrayMouse(window, lParam);
        return TRUE;
    case WM_COMMAND:
        onCommand(window, wParam);
        return TRUE;
    case WM_NOTIFY:
        onNotify(wParam, reinterpret_cast<const NMHDR*>(lParam));
        return TRUE;
    case WM_POWERBROADCAST:
        if (isResume(wParam))
            onResume();
        return FALSE; // the default answer to every power event
    case WM_MAIL_BATCH:
        onPostedMailBatch(window, lParam);
        return TRUE;
    case WM_CALENDAR_CHANGED:
        onPostedCalendarChange();
        return TRUE;
    case WM_DESTROY:
        updateTrayIcon(NIM_DELETE, window, nullptr);
        PostQuitMessage(0);
        return FALSE;
    default:
        if (message == taskbarCreatedMessage() && message != 0) {
            updateTrayIcon(NIM_ADD, window, app->trayIcons[0]);
            return TRUE;
        }
        return FALSE;
    }
}
