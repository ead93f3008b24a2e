#include "reminder_window.h"

#include "app/app_state.h"
#include "app/do_not_disturb.h"
#include "app/dpi.h"
#include "reminder_text.h"
#include "res/resource.h"

#include <memory>
#include <mmsystem.h>

namespace {

constexpr COLORREF dateLineColour = RGB(0, 255, 255); // cyan
constexpr int windowLeft = 20, windowTop = 20;

} // namespace

DWORD WINAPI reminderWindowThread(void* block) {
    // The dialog's initialisation copies the texts into its controls; the block is freed as
    // soon as the dialog exists, or could not be made.
    std::unique_ptr<char[]> texts(static_cast<char*>(block));
    HWND dialog = CreateDialogParamA(app->instance, MAKEINTRESOURCEA(IDD_REMINDER), nullptr,
                                     reminderWindowProc, reinterpret_cast<LPARAM>(texts.get()));
    texts.reset();
    if (!dialog)
        return 0;
    // Shown also while the user may not be interrupted (a meeting is wanted during a
    // presentation), but then without taking the focus from what the user is doing.
    const bool quiet = currentInterruption() != Interruption::allowed;
    ShowWindow(dialog, quiet ? SW_SHOWNOACTIVATE : SW_SHOW);
    SetWindowPos(dialog, HWND_TOPMOST, scaled(windowLeft), scaled(windowTop), 0, 0,
                 SWP_NOSIZE | SWP_SHOWWINDOW | (quiet ? SWP_NOACTIVATE : 0));

    // No dialog keyboard handling: Tab, Enter and Escape do not move or close anything.
    MSG message;
    while (IsWindow(dialog) && GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

INT_PTR CALLBACK reminderWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        scaleDialogToDisplay(dialog);
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
