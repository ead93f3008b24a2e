#include "dpi.h"

#include <windows.h>

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
