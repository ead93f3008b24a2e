// The splash window in this process: the picture and the version text read back from the
// screen, closing by click and by the close message, and the picture's loading and palette.
#include "app/app_state.h"
#include "app/messages.h"
#include "app/splash.h"
#include "res/resource.h"
#include "wine_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace {

// Top-level splash windows of this process; with a thread, only that thread's.
std::vector<HWND> splashWindows(DWORD threadId = 0) {
    std::vector<HWND> found;
    for (HWND window : wt::topLevelWindows(GetCurrentProcessId())) {
        char name[64] = {};
        GetClassNameA(window, name, sizeof name);
        if (std::strcmp(name, splashClassName) == 0 &&
            (!threadId || GetWindowThreadProcessId(window, nullptr) == threadId))
            found.push_back(window);
    }
    return found;
}

struct StartedSplash {
    DWORD threadId = 0;
    HANDLE thread = nullptr; // to wait for its end
    HWND window = nullptr;
};

// The picture as the resource holds it: 8-bit indices into a colour table, bottom-up rows.
class Picture {
public:
    explicit Picture(HMODULE module) {
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDB_SPLASH), RT_BITMAP);
        info_ = static_cast<const BITMAPINFO*>(LockResource(LoadResource(module, found)));
    }
    bool loaded() const { return info_ != nullptr; }
    uint32_t at(int x, int y) const {
        const auto& header = info_->bmiHeader;
        const auto* pixels = reinterpret_cast<const BYTE*>(info_) + header.biSize + 256 * 4;
        const int stride = (header.biWidth + 3) & ~3;
        const RGBQUAD colour = info_->bmiColors[pixels[(header.biHeight - 1 - y) * stride + x]];
        return uint32_t(colour.rgbRed) << 16 | uint32_t(colour.rgbGreen) << 8 | colour.rgbBlue;
    }
    const BITMAPINFO* info() const { return info_; }

private:
    const BITMAPINFO* info_ = nullptr;
};

// The picture keeps a light, plain box free for the text written at (200, 20).
constexpr RECT textBox{195, 15, 301, 41};
constexpr RECT textArea{200, 20, 291, 37};

bool inside(const RECT& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

bool dark(uint32_t rgb) {
    return (rgb >> 16 & 0xFF) < 96 && (rgb >> 8 & 0xFF) < 96 && (rgb & 0xFF) < 96;
}

uint32_t rgbOf(COLORREF colour) {
    return uint32_t(GetRValue(colour)) << 16 | uint32_t(GetGValue(colour)) << 8 | GetBValue(colour);
}

// Where the text's dark pixels are, and how many there are.
struct TextFound {
    int count = 0;
    int left = INT_MAX;
    int top = INT_MAX;
};

TextFound darkPixelsIn(const wt::Pixels& shown, const RECT& area) {
    TextFound found;
    for (int y = area.top; y < std::min<int>(area.bottom, shown.height); ++y)
        for (int x = area.left; x < std::min<int>(area.right, shown.width); ++x)
            if (dark(shown.at(x, y))) {
                ++found.count;
                found.left = std::min(found.left, x);
                found.top = std::min(found.top, y);
            }
    return found;
}

class Splash : public ::testing::Test {
protected:
    void SetUp() override {
        app = new AppState();
        app->instance = GetModuleHandleA(nullptr);
    }
    void TearDown() override {
        for (HWND window : splashWindows())
            PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        for (HANDLE thread : threads_) {
            EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0) << "a splash thread hangs";
            CloseHandle(thread);
        }
        delete app;
        app = nullptr;
    }

    // Starts a splash as start-up does and waits until its window is painted.
    StartedSplash start(HINSTANCE classModule = GetModuleHandleA(nullptr)) {
        StartedSplash splash;
        splash.threadId = startSplashThread(classModule);
        splash.thread = OpenThread(SYNCHRONIZE, FALSE, splash.threadId);
        if (splash.thread)
            threads_.push_back(splash.thread);
        wt::pumpUntil([&] {
            auto windows = splashWindows(splash.threadId);
            splash.window = windows.empty() ? nullptr : windows.front();
            return splash.window && IsWindowVisible(splash.window);
        });
        settle(splash.window);
        return splash;
    }

    // Returns once the splash thread is between two messages, so it has left CreateWindow and
    // finished any paint under way.
    static void settle(HWND window) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored);
    }

    // The client area once the splash thread has painted it and nothing changes any more.
    static wt::Pixels shownPixels(HWND window) {
        wt::Pixels last;
        for (int attempt = 0; attempt < 40; ++attempt) {
            settle(window);
            if (GetUpdateRect(window, nullptr, FALSE)) {
                wt::pumpFor(20);
                continue;
            }
            wt::Pixels now = wt::clientPixels(window);
            if (now.width && now.rgb == last.rgb)
                return now;
            last = std::move(now);
            wt::pumpFor(50);
        }
        return last;
    }

    bool ends(const StartedSplash& splash) {
        return splash.thread && WaitForSingleObject(splash.thread, 5000) == WAIT_OBJECT_0;
    }

private:
    std::vector<HANDLE> threads_;
};

// What it shows

TEST_F(Splash, IsACentredPictureWindowWithoutCaption) {
    StartedSplash splash = start();
    ASSERT_NE(splash.window, nullptr);
    EXPECT_EQ(app->splashWindow.load(), splash.window);
    EXPECT_EQ(wt::windowText(splash.window), "Splash");
    const LONG style = GetWindowLongA(splash.window, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_BORDER), LONG(WS_POPUP));
    const LONG exStyle = GetWindowLongA(splash.window, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_CLIENTEDGE);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(exStyle & WS_EX_TOPMOST);
    RECT frame;
    GetWindowRect(splash.window, &frame);
    EXPECT_EQ(frame.right - frame.left, 380);
    EXPECT_EQ(frame.bottom - frame.top, 240);
    EXPECT_EQ(frame.left, GetSystemMetrics(SM_CXSCREEN) / 2 - 190);
    EXPECT_EQ(frame.top, GetSystemMetrics(SM_CYSCREEN) / 2 - 120);
}

TEST_F(Splash, ShowsThePictureWithTheVersionWrittenOverItWithoutABox) {
    Picture picture(GetModuleHandleA(nullptr));
    ASSERT_TRUE(picture.loaded());
    StartedSplash splash = start();
    ASSERT_NE(splash.window, nullptr);
    const wt::Pixels shown = shownPixels(splash.window);
    ASSERT_EQ(shown.width, 380 - 2 * GetSystemMetrics(SM_CXEDGE));
    ASSERT_EQ(shown.height, 240 - 2 * GetSystemMetrics(SM_CYEDGE));

    int outside = 0, asPicture = 0;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x)
            if (!inside(textBox, x, y)) {
                ++outside;
                asPicture += shown.at(x, y) == picture.at(x, y);
            }
    EXPECT_GT(asPicture, outside * 999 / 1000) << "the upper part of the picture, unscaled";

    const TextFound text = darkPixelsIn(shown, textArea);
    EXPECT_GT(text.count, 40) << "\"Version 2.0\" in black";
    EXPECT_GE(text.left, 200);
    EXPECT_LE(text.left, 203);
    EXPECT_GE(text.top, 20);
    EXPECT_LE(text.top, 26);
    // Between the letters the picture shows through (edges of smoothed letters aside): the text
    // has no background box of its own, which would be white.
    int light = 0, lightAsPicture = 0, white = 0;
    for (int y = textArea.top; y < textArea.bottom; ++y)
        for (int x = textArea.left; x < textArea.right; ++x)
            if (!dark(shown.at(x, y))) {
                ++light;
                lightAsPicture += shown.at(x, y) == picture.at(x, y);
                white += shown.at(x, y) == 0xFFFFFF;
            }
    EXPECT_GT(lightAsPicture, light * 3 / 4);
    EXPECT_EQ(white, 0);
}

TEST_F(Splash, WithoutThePictureTheVersionIsStillWritten) {
    HMODULE withoutPictures = GetModuleHandleA("kernel32.dll");
    ASSERT_EQ(FindResourceA(withoutPictures, MAKEINTRESOURCEA(IDB_SPLASH), RT_BITMAP), nullptr);
    HPALETTE palette = reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(loadBitmapWithPalette(withoutPictures, IDB_SPLASH, palette), nullptr);
    EXPECT_EQ(palette, GetStockObject(DEFAULT_PALETTE)) << "left as it was";

    app->instance = withoutPictures; // where the window looks for its picture
    StartedSplash splash = start();
    ASSERT_NE(splash.window, nullptr);
    const wt::Pixels shown = shownPixels(splash.window);
    ASSERT_GT(shown.width, 300);
    const uint32_t background = rgbOf(GetSysColor(COLOR_WINDOW));
    int outside = 0, plain = 0;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x)
            if (!inside(textBox, x, y)) {
                ++outside;
                plain += shown.at(x, y) == background;
            }
    EXPECT_EQ(plain, outside) << "the class background, not a copy of nothing";
    EXPECT_GT(darkPixelsIn(shown, textArea).count, 40);
}

// Closing

TEST_F(Splash, AClickClosesItAndEndsItsThread) {
    StartedSplash splash = start();
    ASSERT_NE(splash.window, nullptr);
    PostMessageA(splash.window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
    EXPECT_TRUE(ends(splash));
    EXPECT_FALSE(IsWindow(splash.window));
    EXPECT_EQ(app->splashWindow.load(), nullptr) << "no closed window left as the logon's parent";
}

TEST_F(Splash, ACloseMessagePostedRightAfterTheStartIsNotLost) {
    // Start-up posts as soon as its work is done, which may be before the thread ran at all.
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        const DWORD threadId = startSplashThread(app->instance);
        ASSERT_NE(threadId, 0u);
        HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
        EXPECT_TRUE(PostThreadMessageA(threadId, WM_SPLASH_CLOSE, 0, 0)) << "no queue yet";
        if (thread) {
            EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0) << "the splash stays";
            CloseHandle(thread);
        }
    }
    EXPECT_TRUE(splashWindows().empty());
}

TEST_F(Splash, EachCloseMessageClosesTheWindowOfItsOwnThread) {
    StartedSplash first = start();
    StartedSplash second = start();
    ASSERT_NE(first.window, nullptr);
    ASSERT_NE(second.window, nullptr);
    EXPECT_NE(first.window, second.window);
    EXPECT_EQ(app->splashWindow.load(), second.window) << "the newest splash";

    EXPECT_TRUE(PostThreadMessageA(first.threadId, WM_SPLASH_CLOSE, 0, 0));
    EXPECT_TRUE(ends(first));
    EXPECT_FALSE(IsWindow(first.window));
    EXPECT_TRUE(IsWindowVisible(second.window));
    EXPECT_EQ(app->splashWindow.load(), second.window);

    PostMessageA(second.window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_TRUE(ends(second));
    EXPECT_EQ(app->splashWindow.load(), nullptr);
}

// The picture and its palette

TEST(SplashPicture, LoadsAsADeviceBitmapWithThePaletteOfItsColourTable) {
    HMODULE module = GetModuleHandleA(nullptr);
    Picture picture(module);
    ASSERT_TRUE(picture.loaded());
    HPALETTE palette = nullptr;
    HBITMAP bitmap = loadBitmapWithPalette(module, IDB_SPLASH, palette);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_NE(palette, nullptr);
    BITMAP described{};
    GetObjectA(bitmap, sizeof described, &described);
    EXPECT_EQ(described.bmWidth, 380);
    EXPECT_EQ(described.bmHeight, 266);

    PALETTEENTRY entries[257] = {};
    ASSERT_EQ(GetPaletteEntries(palette, 0, 257, entries), 256u);
    int differing = 0;
    for (int i = 0; i < 256; ++i) {
        const RGBQUAD& colour = picture.info()->bmiColors[i];
        differing += entries[i].peRed != colour.rgbRed || entries[i].peGreen != colour.rgbGreen ||
                     entries[i].peBlue != colour.rgbBlue || entries[i].peFlags != 0;
    }
    EXPECT_EQ(differing, 0);
    DeleteObject(bitmap);
    DeleteObject(palette);
}

TEST(SplashPicture, PaletteFollowsTheHeaderWhateverItsSizeAndOnlyUpToEightBits) {
    std::vector<BYTE> packed(sizeof(BITMAPV4HEADER) + 16 * sizeof(RGBQUAD));
    auto* header = reinterpret_cast<BITMAPV4HEADER*>(packed.data());
    header->bV4Size = sizeof(BITMAPV4HEADER);
    header->bV4Width = 4;
    header->bV4Height = 4;
    header->bV4Planes = 1;
    header->bV4BitCount = 4;
    header->bV4V4Compression = BI_RGB;
    auto* table = reinterpret_cast<RGBQUAD*>(packed.data() + sizeof(BITMAPV4HEADER));
    for (int i = 0; i < 16; ++i)
        table[i] = RGBQUAD{BYTE(i), BYTE(2 * i), BYTE(3 * i), 0}; // blue, green, red
    const auto* info = reinterpret_cast<const BITMAPINFO*>(packed.data());

    int count = -1;
    HPALETTE palette = createDibPalette(info, count);
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(count, 16);
    PALETTEENTRY entries[16] = {};
    ASSERT_EQ(GetPaletteEntries(palette, 0, 16, entries), 16u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(entries[i].peRed, 3 * i);
        EXPECT_EQ(entries[i].peGreen, 2 * i);
        EXPECT_EQ(entries[i].peBlue, i);
    }
    DeleteObject(palette);

    header->bV4BitCount = 24;
    count = -1;
    EXPECT_EQ(createDibPalette(info, count), nullptr);
    EXPECT_EQ(count, 0);
}

} // namespace
