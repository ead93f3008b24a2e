#include "splash.h"

#include "app_state.h"
#include "dpi.h"
#include "handles.h"
#include "messages.h"
#include "res/resource.h"
#include "window_helpers.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr char versionText[] = "Version 2.0";
constexpr int versionX = 200;
constexpr int versionY = 20;
constexpr int systemFontHeight = 16; // the system font's cell at 96 DPI

// Handed to a new splash thread: it signals `queueReady` once its message queue exists. Shared,
// so that whichever side lets go last closes the event, also when the starter stops waiting.
struct SplashStart {
    HINSTANCE instance;
    UniqueHandle queueReady{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

DWORD WINAPI splashThreadWithQueue(LPVOID parameter) {
    HINSTANCE instance;
    {
        std::unique_ptr<std::shared_ptr<SplashStart>> start(
            static_cast<std::shared_ptr<SplashStart>*>(parameter));
        MSG message;
        PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE); // creates the queue
        instance = (*start)->instance;
        SetEvent((*start)->queueReady.get());
    }
    return splashThread(instance);
}

void paint(HWND window) {
    // Loaded again at every paint, and released with it.
    HPALETTE loadedPalette = nullptr;
    UniqueHbitmap bitmap(loadBitmapWithPalette(app->instance, IDB_SPLASH, loadedPalette));
    UniqueHpalette palette(loadedPalette);

    PAINTSTRUCT painting;
    HDC dc = BeginPaint(window, &painting);
    HPALETTE previousPalette = nullptr;
    if (palette) {
        previousPalette = SelectPalette(dc, palette.get(), FALSE);
        RealizePalette(dc);
    }
    // Without the picture the class background stays, and the text is still written on it.
    if (bitmap) {
        UniqueHdc memory(CreateCompatibleDC(dc));
        HGDIOBJ previousBitmap = SelectObject(memory.get(), bitmap.get());
        const int width = scaled(splashWidth), height = scaled(splashHeight);
        if (width == splashWidth && height == splashHeight) {
            BitBlt(dc, 0, 0, width, height, memory.get(), 0, 0, SRCCOPY);
        } else {
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr); // as HALFTONE asks
            StretchBlt(dc, 0, 0, width, height, memory.get(), 0, 0, splashWidth, splashHeight,
                       SRCCOPY);
        }
        SelectObject(memory.get(), previousBitmap);
    }
    SetBkMode(dc, TRANSPARENT);
    // The device context's own font, the system font, is a bitmap font of one size: on a scaled
    // display the text is written in a TrueType face of its weight at the scaled size.
    UniqueGdiObject font;
    if (scaled(splashHeight) != splashHeight) {
        LOGFONTA face{};
        GetObjectA(GetStockObject(SYSTEM_FONT), sizeof face, &face);
        face.lfHeight = scaled(systemFontHeight);
        face.lfWidth = 0;
        face.lfOutPrecision = OUT_TT_ONLY_PRECIS;
        lstrcpynA(face.lfFaceName, "Tahoma", LF_FACESIZE);
        font.reset(CreateFontIndirectA(&face));
    }
    HGDIOBJ previousFont = font ? SelectObject(dc, font.get()) : nullptr;
    TextOutA(dc, scaled(versionX), scaled(versionY), versionText, int(std::strlen(versionText)));
    // Deselected before the wrappers delete them: a selected object is not deleted.
    if (previousFont)
        SelectObject(dc, previousFont);
    if (palette)
        SelectPalette(dc, previousPalette, FALSE);
    EndPaint(window, &painting);
}

} // namespace

DWORD WINAPI splashThread(LPVOID parameter) {
    auto instance = static_cast<HINSTANCE>(parameter);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = splashWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = splashClassName;
    RegisterClassA(&windowClass); // fails from the second splash on; the class is there then

    Placement placement{0, 0, scaled(splashWidth), scaled(splashHeight)};
    centerOnScreen(placement);
    HWND window = CreateWindowExA(WS_EX_CLIENTEDGE | WS_EX_TOOLWINDOW, splashClassName, "Splash",
                                  WS_POPUP | WS_VISIBLE, placement.x, placement.y, placement.width,
                                  placement.height, nullptr, nullptr, instance, nullptr);
    app->splashWindow = window;

    // The close message destroys this thread's own window: splashWindow may already name a
    // newer splash of another thread.
    MSG message;
    while (IsWindow(window) && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_SPLASH_CLOSE)
            DestroyWindow(window);
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

DWORD startSplashThread(HINSTANCE instance) {
    auto start = std::make_shared<SplashStart>();
    start->instance = instance;
    auto* handedOver = new std::shared_ptr<SplashStart>(start);
    DWORD threadId = 0;
    UniqueHandle thread(CreateThread(nullptr, 0, splashThreadWithQueue, handedOver, 0, &threadId));
    if (!thread) {
        delete handedOver;
        return 0;
    }
    // The thread signals right at its start; it can only fail to by ending first.
    const HANDLE waits[] = {start->queueReady.get(), thread.get()};
    WaitForMultipleObjects(2, waits, FALSE, 5000);
    return threadId;
}

LRESULT CALLBACK splashWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        paint(window);
        return 0;
    case WM_LBUTTONDOWN:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY: {
        // A closed splash is no parent for the logon dialogs any more.
        HWND self = window;
        app->splashWindow.compare_exchange_strong(self, nullptr);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

HBITMAP loadBitmapWithPalette(HINSTANCE instance, int bitmapId, HPALETTE& palette) {
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(bitmapId), RT_BITMAP);
    if (!found)
        return nullptr;
    // A packed bitmap: header, colour table, pixels. Resources need no freeing.
    const auto* info = static_cast<const BITMAPINFO*>(LockResource(LoadResource(instance, found)));
    if (!info)
        return nullptr;

    HDC screen = GetDC(nullptr);
    int colourCount = 0;
    palette = createDibPalette(info, colourCount);
    HPALETTE previousPalette = nullptr;
    if (palette) {
        previousPalette = SelectPalette(screen, palette, FALSE);
        RealizePalette(screen);
    }
    const BYTE* bits =
        reinterpret_cast<const BYTE*>(info) + info->bmiHeader.biSize + 4 * colourCount;
    HBITMAP bitmap = CreateDIBitmap(screen, &info->bmiHeader, CBM_INIT, bits, info, DIB_RGB_COLORS);
    if (palette)
        SelectPalette(screen, previousPalette, FALSE);
    ReleaseDC(nullptr, screen);
    return bitmap;
}

HPALETTE createDibPalette(const BITMAPINFO* info, int& colourCount) {
    const WORD bitsPerPixel = info->bmiHeader.biBitCount;
    colourCount = bitsPerPixel <= 8 ? 1 << bitsPerPixel : 0;
    if (colourCount == 0)
        return nullptr;

    // LOGPALETTE declares one entry; the others follow it.
    std::vector<BYTE> memory(sizeof(LOGPALETTE) + (colourCount - 1) * sizeof(PALETTEENTRY));
    auto* logical = reinterpret_cast<LOGPALETTE*>(memory.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = WORD(colourCount);
    // The colour table follows the header, whatever the header's size.
    const auto* table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(info) +
                                                         info->bmiHeader.biSize);
    for (int i = 0; i < colourCount; ++i) {
        logical->palPalEntry[i].peRed = table[i].rgbRed;
        logical->palPalEntry[i].peGreen = table[i].rgbGreen;
        logical->palPalEntry[i].peBlue = table[i].rgbBlue;
        logical->palPalEntry[i].peFlags = 0;
    }
    return CreatePalette(logical);
}
