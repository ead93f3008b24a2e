#include "reminder_window.h"

#include "app/app_state.h"
#include "app/do_not_disturb.h"
#include "app/dpi.h"
#include "app/messages.h"
#include "reminder_text.h"
#include "res/resource.h"

#include <memory>
#include <mmsystem.h>

namespace {

constexpr COLORREF dateLineColour = RGB(0, 255, 255); // cyan
constexpr int windowLeft = 20, windowTop = 20;
constexpr int pictureId = -1; // the template's picture has no identifier of its own

// The agenda picture, loaded once for every reminder window of the process. The picture control
// loads its own copy from the template, and the system's control does not always delete that
// copy with the window (Wine's keeps it): each window closed would leave a bitmap behind.
HBITMAP agendaPicture() {
    static const HBITMAP picture = static_cast<HBITMAP>(
        LoadImageA(app->instance, MAKEINTRESOURCEA(IDB_AGENDA), IMAGE_BITMAP, 0, 0, 0));
    return picture;
}

// Shows the shared picture in place of the control's own copy, which is then the window's to
// delete; a bitmap given to a static control stays its giver's, so the shared one outlives the
// window.
void shareAgendaPicture(HWND dialog) {
    const HBITMAP shared = agendaPicture();
    if (!shared)
        return; // the control keeps its own copy
    const auto own = reinterpret_cast<HBITMAP>(SendDlgItemMessageA(
        dialog, pictureId, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(shared)));
    if (own && own != shared)
        DeleteObject(own);
}

} // namespace

namespace {

// Makes and shows the window of `block`, which is freed as soon as the texts are in the window
// (or the window could not be made).
HWND openReminderWindow(void* block) {
    std::unique_ptr<char[]> texts(static_cast<char*>(block));
    HWND dialog = CreateDialogParamA(app->instance, MAKEINTRESOURCEA(IDD_REMINDER), nullptr,
                                     reminderWindowProc, reinterpret_cast<LPARAM>(texts.get()));
    texts.reset();
    if (!dialog)
        return nullptr;
    // Shown also while the user may not be interrupted (a meeting is wanted during a
    // presentation), but then without taking the focus from what the user is doing.
    const bool quiet = currentInterruption() != Interruption::allowed;
    ShowWindow(dialog, quiet ? SW_SHOWNOACTIVATE : SW_SHOW);
    SetWindowPos(dialog, HWND_TOPMOST, scaled(windowLeft), scaled(windowTop), 0, 0,
                 SWP_NOSIZE | SWP_SHOWWINDOW | (quiet ? SWP_NOACTIVATE : 0));
    return dialog;
}

struct HostStart {
    HANDLE ready;
};

// The reminder windows' thread: opens a window for each block handed to it and dispatches the
// messages of all of them. No dialog keyboard handling: Tab, Enter and Escape do not move or
// close anything.
DWORD WINAPI reminderHost(void* start) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE); // the queue exists before it is used
    SetEvent(static_cast<HostStart*>(start)->ready);
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!message.hwnd && message.message == WM_SHOW_REMINDER)
            openReminderWindow(reinterpret_cast<void*>(message.lParam));
        else
            DispatchMessageA(&message);
    }
    return 0;
}

// The id of the reminder windows' thread, started on first use; zero when it could not be.
DWORD reminderHostId() {
    static const DWORD id = [] {
        HostStart start{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
        if (!start.ready)
            return DWORD(0);
        DWORD started = 0;
        HANDLE thread = CreateThread(nullptr, 0, reminderHost, &start, 0, &started);
        if (thread) {
            WaitForSingleObject(start.ready, INFINITE);
            CloseHandle(thread); // lives with the process
        }
        CloseHandle(start.ready);
        return thread ? started : DWORD(0);
    }();
    return id;
}

} // namespace

bool showReminder(char* block) {
    const DWORD host = reminderHostId();
    if (host && PostThreadMessageA(host, WM_SHOW_REMINDER, 0, reinterpret_cast<LPARAM>(block)))
        return true;
    delete[] block;
    return false;
}

DWORD WINAPI reminderWindowThread(void* block) {
    HWND dialog = openReminderWindow(block);
    MSG message;
    while (dialog && IsWindow(dialog) && GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

INT_PTR CALLBACK reminderWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        scaleDialogToDisplay(dialog);
        shareAgendaPicture(dialog);
        if (app->playSound)
            PlaySoundA(app->wavFile, nullptr, SND_FILENAME | SND_ASYNC | SND_NOWAIT);
        const char* texts = reinterpret_cast<const char*>(lParam);
        SetDlgItemTextA(dialog, IDC_APPOINTMENT, texts + appointmentSlot);
        SetDlgItemTextA(dialog, IDC_LOCATION, texts + locationSlot);
        SetDlgItemTextA(dialog, IDC_REMINDER_DATE, texts + dateSlot);
        // The system sets the default focus, which would activate the window.
        return currentInterruption() == Interruption::allowed;
    }
    case WM_COMMAND:
        // Only OK closes the window; the close box's Cancel and Escape leave it open.
        if (LOWORD(wParam) == IDOK)
            DestroyWindow(dialog);
        return 0;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(GetStockObject(LTGRAY_BRUSH));
    case WM_CTLCOLORSTATIC:
        // The date line: cyan on the dialog's light grey. Set at every painting, since a
        // control's colours last only for the drawing they are given to.
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_REMINDER_DATE) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, dateLineColour);
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetStockObject(LTGRAY_BRUSH));
        }
        return FALSE;
    default:
        return FALSE;
    }
}
