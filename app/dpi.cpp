#include "dpi.h"

#include <windows.h>

#include <map>
#include <mutex>

namespace {

constexpr int designDpi = 96;

int readDisplayDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : designDpi;
}

} // namespace

int displayDpi() {
    static const int dpi = readDisplayDpi();
    return dpi;
}

int scaled(int pixels) {
    return MulDiv(pixels, displayDpi(), designDpi);
}

namespace {

constexpr char scaledDialogFace[] = "Tahoma";

// The dialog base units of the templates' font, "MS Sans Serif" 8 pt, at 96 DPI: a dialog unit
// is 6/4 pixels across and 13/8 down. They cannot be measured on a scaled display, where the
// same request gets another face (the one made for 120 DPI).
constexpr SIZE baseUnitsAt96{6, 13};

// A length laid out with `now` base units, as laid out at 96 DPI and scaled: back to dialog
// units (exact, since a unit is more than a pixel), then to the 96-DPI pixels, then scaled.
int rescale(int pixels, int now, int at96, int unitsPerBase) {
    const int units = MulDiv(pixels, unitsPerBase, now);
    return scaled(MulDiv(units, at96, unitsPerBase));
}

// One font a size, made at first use and kept for the process: reminder windows come and go.
HFONT dialogFont(LOGFONTA face) {
    static std::mutex lock; // reminder windows start on threads of their own
    static std::map<LONG, HFONT> fonts;
    std::lock_guard guard(lock);
    HFONT& font = fonts[face.lfHeight];
    if (!font) {
        face.lfOutPrecision = OUT_TT_ONLY_PRECIS;
        lstrcpynA(face.lfFaceName, scaledDialogFace, LF_FACESIZE);
        font = CreateFontIndirectA(&face);
    }
    return font;
}

} // namespace

void scaleDialogToDisplay(HWND dialog) {
    if (displayDpi() == designDpi)
        return;
    auto templateFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    LOGFONTA face{};
    if (!templateFont || !GetObjectA(templateFont, sizeof face, &face))
        return;
    RECT units{0, 0, 4, 8};
    MapDialogRect(dialog, &units); // the base units the system laid the dialog out with
    if (units.right <= 0 || units.bottom <= 0)
        return;
    const SIZE at96 = baseUnitsAt96;
    auto x = [&](int pixels) { return rescale(pixels, units.right, at96.cx, 4); };
    auto y = [&](int pixels) { return rescale(pixels, units.bottom, at96.cy, 8); };

    HFONT font = dialogFont(face);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(child, nullptr, x(r.left), y(r.top), x(r.right - r.left), y(r.bottom - r.top),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (font)
            SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    RECT client{}, frame{};
    GetClientRect(dialog, &client);
    frame = {0, 0, x(client.right), y(client.bottom)};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrA(dialog, GWL_STYLE)),
                       GetMenu(dialog) != nullptr, DWORD(GetWindowLongPtrA(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
