#include "setup_dialog.h"

#include "app_state.h"
#include "dpi.h"
#include "configuration.h"
#include "handles.h"
#include "late_bound.h"
#include "res/resource.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// The file dialog's library is loaded when a "..." button is first pressed (late_bound.h).
GetOpenFileNameFn getOpenFileName = &late::getOpenFileName;

namespace {

// Filter lists: pairs of description and pattern, the list ending with an empty pair.
constexpr char programFilter[] = "Program (*.exe)\0*.exe\0All Files (*.*)\0*.*\0";
constexpr char soundFilter[] = "SoundFiles (*.wav)\0*.wav\0All Files (*.*)\0*.*\0";

bool isChecked(HWND dialog, int control) {
    return IsDlgButtonChecked(dialog, control) == BST_CHECKED;
}

void check(HWND dialog, int control, bool checked) {
    CheckDlgButton(dialog, control, checked ? BST_CHECKED : BST_UNCHECKED);
}

void enable(HWND dialog, int control, bool enabled) {
    EnableWindow(GetDlgItem(dialog, control), enabled);
}

// The number typed into an edit: decimal digits, blanks around them allowed, at most
// 4294967295. Anything else counts as 0.
uint32_t unsignedNumber(HWND dialog, int control) {
    HWND edit = GetDlgItem(dialog, control);
    std::string text(GetWindowTextLengthA(edit) + 1, '\0');
    text.resize(GetWindowTextA(edit, text.data(), int(text.size())));
    std::string_view digits(text);
    digits.remove_prefix(std::min(digits.find_first_not_of(' '), digits.size()));
    digits.remove_suffix(digits.size() - (digits.find_last_not_of(' ') + 1));
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size())
        return 0;
    return value;
}

// The text of a path edit, at most MAX_PATH - 1 characters.
std::string pathText(HWND dialog, int control) {
    char text[MAX_PATH] = {};
    GetDlgItemTextA(dialog, control, text, MAX_PATH);
    return text;
}

void writeNumber(HKEY key, const char* name, DWORD value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void writeText(HKEY key, const char* name, const std::string& text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   DWORD(text.size() + 1));
}

void initialise(HWND dialog) {
    const bool timerOn = app->timerEnabled == 1;
    check(dialog, IDC_TIMER_ENABLED, timerOn);
    if (timerOn)
        enable(dialog, IDC_TIMER, true);

    SetDlgItemInt(dialog, IDC_POLLING_TIME, app->msMailServerTime, FALSE);
    enable(dialog, IDC_POLLING_TIME, app->msMailServer != 0);
    check(dialog, IDC_MSMAIL_SERVER, app->msMailServer != 0);

    SetDlgItemInt(dialog, IDC_TIMER, app->timer, FALSE);

    // The sound's "..." keeps its template state here and follows the check box only once the
    // box is clicked.
    check(dialog, IDC_PLAY_SOUND, app->playSound == 1);
    enable(dialog, IDC_SOUND_FILE, app->playSound == 1);
    if (const char* wavFile = app->wavFile; !wavFile) {
        enable(dialog, IDC_SOUND_FILE, false);
        enable(dialog, IDC_BROWSE_SOUND, false);
        check(dialog, IDC_PLAY_SOUND, false);
    } else if (*wavFile) {
        SetDlgItemTextA(dialog, IDC_SOUND_FILE, wavFile);
    }

    check(dialog, IDC_DISPLAY_WINDOW, app->displayWindow != 0);
    check(dialog, IDC_CALENDAR, app->calendar != 0);

    const bool outlook = app->outlook != 0;
    check(dialog, outlook ? IDC_OUTLOOK : IDC_OTHER_READER, true);
    enable(dialog, IDC_READER_PATH, !outlook);
    enable(dialog, IDC_BROWSE_READER, !outlook);
    if (!outlook)
        SetDlgItemTextA(dialog, IDC_READER_PATH, app->mailReaderPath ? app->mailReaderPath : "");
}

// Only a chosen file replaces the edit's text: cancelling the file dialog keeps what the user
// had typed.
void browse(HWND dialog, int edit, const char* filter) {
    char file[MAX_PATH] = {};
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = dialog;
    request.hInstance = app->instance;
    request.lpstrFilter = filter;
    request.lpstrFile = file;
    request.nMaxFile = MAX_PATH;
    if (getOpenFileName(&request))
        SetDlgItemTextA(dialog, edit, file);
}

// Writes the dialog's values. Returns false, with the dialog left open, when "Other" is chosen
// without a reader; what was written before that point stays written.
bool save(HWND dialog) {
    UniqueHkey key;
    RegCreateKeyExA(HKEY_CURRENT_USER, registry::keyPath, 0, nullptr, 0, KEY_WRITE, nullptr,
                    key.put(), nullptr);

    if (isChecked(dialog, IDC_MSMAIL_SERVER)) {
        writeNumber(key.get(), registry::msMailServer, 1);
        writeNumber(key.get(), registry::msMailServerTime,
                    unsignedNumber(dialog, IDC_POLLING_TIME));
    } else {
        writeNumber(key.get(), registry::msMailServer, 0);
    }

    // The delay is kept, in the record and the registry, while the timer is off.
    if (isChecked(dialog, IDC_TIMER_ENABLED)) {
        app->timerEnabled = 1;
        app->timer = unsignedNumber(dialog, IDC_TIMER);
        writeNumber(key.get(), registry::timer, app->timer);
    } else {
        app->timerEnabled = 0;
    }
    writeNumber(key.get(), registry::timerEnabled, app->timerEnabled);

    if (isChecked(dialog, IDC_OUTLOOK)) {
        writeNumber(key.get(), registry::outlook, 1);
    } else {
        writeNumber(key.get(), registry::outlook, 0);
        const std::string reader = pathText(dialog, IDC_READER_PATH);
        if (reader.empty()) {
            char text[128] = {};
            LoadStringA(app->instance, IDS_NEED_MAIL_READER, text, sizeof text);
            MessageBoxA(dialog, text, "Stop", MB_ICONERROR | MB_OK);
            return false;
        }
        writeText(key.get(), registry::mailReaderPath, reader);
    }

    writeText(key.get(), registry::wavFile, pathText(dialog, IDC_SOUND_FILE));
    writeNumber(key.get(), registry::playSound, isChecked(dialog, IDC_PLAY_SOUND));
    writeNumber(key.get(), registry::displayWindow, isChecked(dialog, IDC_DISPLAY_WINDOW));
    writeNumber(key.get(), registry::calendar, isChecked(dialog, IDC_CALENDAR));
    writeNumber(key.get(), registry::version, registry::formatVersion);
    return true;
}

// Commands are told apart by the control alone, whatever the notification.
void onCommand(HWND dialog, int control) {
    switch (control) {
    case IDC_MSMAIL_SERVER:
        enable(dialog, IDC_POLLING_TIME, isChecked(dialog, IDC_MSMAIL_SERVER));
        break;
    case IDC_TIMER_ENABLED:
        enable(dialog, IDC_TIMER, isChecked(dialog, IDC_TIMER_ENABLED));
        break;
    case IDC_PLAY_SOUND:
        enable(dialog, IDC_SOUND_FILE, isChecked(dialog, IDC_PLAY_SOUND));
        enable(dialog, IDC_BROWSE_SOUND, isChecked(dialog, IDC_PLAY_SOUND));
        break;
    case IDC_OUTLOOK:
        enable(dialog, IDC_READER_PATH, false);
        enable(dialog, IDC_BROWSE_READER, false);
        break;
    case IDC_OTHER_READER:
        enable(dialog, IDC_READER_PATH, true);
        enable(dialog, IDC_BROWSE_READER, true);
        break;
    case IDC_BROWSE_READER:
        browse(dialog, IDC_READER_PATH, programFilter);
        break;
    case IDC_BROWSE_SOUND:
        browse(dialog, IDC_SOUND_FILE, soundFilter);
        break;
    case IDOK:
        if (save(dialog))
            EndDialog(dialog, 1);
        break;
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    default:
        break;
    }
}

} // namespace

INT_PTR CALLBACK setupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        scaleDialogToDisplay(dialog);
        initialise(dialog);
        return 0; // no control is given the focus
    case WM_COMMAND:
        onCommand(dialog, LOWORD(wParam));
        return 0;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(GetStockObject(LTGRAY_BRUSH));
    default:
        return 0;
    }
}

INT_PTR runSetupDialog() {
    return DialogBoxParamA(app->instance, MAKEINTRESOURCEA(IDD_SETUP), app->mainWindow,
                           setupDialogProc, 0);
}
