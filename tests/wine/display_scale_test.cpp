// The program at other display scales: this test measures what the program places at 96 DPI,
// then starts itself again with the prefix's display set to 144 and 192 DPI, where the same
// measures must be 1.5 and 2 times as large (within 2 px) and every text must still fit.
#include "app/app_state.h"
#include "app/dpi.h"
#include "app/messages.h"
#include "app/splash.h"
#include "calendar/reminder_text.h"
#include "calendar/reminder_window.h"
#include "program_window.h"
#include "reminder_windows.h"
#include "res/resource.h"
#include "window/history.h"
#include "window/notification_window.h"
#include "wine_test.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace {

constexpr char reportVariable[] = "TAVINEL_DPI_REPORT";

// Sizes in pixels by name; a name starting with "fits " holds 1 when that text is not cut.
using Measures = std::map<std::string, int>;

SIZE textSize(HWND control, HFONT font, const std::string& text) {
    HDC dc = GetDC(control);
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), int(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return size;
}

HFONT fontOf(HWND control) {
    return reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
}

void measureRect(Measures& m, const std::string& name, HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    m[name + " width"] = r.right - r.left;
    m[name + " height"] = r.bottom - r.top;
}

// A control whose text (its own, or the one given) is shown whole in its client area.
void measureFit(Measures& m, const std::string& name, HWND control, std::string text = {}) {
    if (text.empty())
        text = wt::windowText(control);
    RECT client{};
    GetClientRect(control, &client);
    const SIZE size = textSize(control, fontOf(control), text);
    m["fits " + name] = size.cx <= client.right && size.cy <= client.bottom;
}

void measureNotificationWindow(Measures& m, HWND window) {
    showLayout(window, false);
    measureRect(m, "collapsed window", window);
    showLayout(window, true);
    measureRect(m, "expanded window", window);
    measureRect(m, "sender line", app->senderLabel);
    measureRect(m, "subject line", app->subjectLabel);
    measureRect(m, "history", app->historyList);
    measureRect(m, "preview", app->previewEdit);
    m["history column From"] = int(SendMessageA(app->historyList, LVM_GETCOLUMNWIDTH, 0, 0));
    m["history column Subject"] = int(SendMessageA(app->historyList, LVM_GETCOLUMNWIDTH, 1, 0));
    LOGFONTA font{};
    GetObjectA(fontOf(app->senderLabel), sizeof font, &font);
    m["created font height"] = std::abs(font.lfHeight);

    SetWindowTextA(app->senderLabel, "24/03/1998 09:05 New mail from: Help Desk");
    SetWindowTextA(app->subjectLabel, "Printer fixed");
    measureFit(m, "sender line", app->senderLabel);
    measureFit(m, "subject line", app->subjectLabel);
    LVITEMA line{};
    line.mask = LVIF_TEXT;
    line.pszText = const_cast<char*>("Help Desk");
    SendMessageA(app->historyList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&line));
    RECT row{LVIR_LABEL, 0, 0, 0};
    SendMessageA(app->historyList, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    m["fits history line"] = textSize(app->historyList, fontOf(app->historyList), "Help Desk").cy <=
                             row.bottom - row.top;
    SendMessageA(app->historyList, LVM_DELETEALLITEMS, 0, 0);

    // The menu bar's commands are the window's buttons.
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT menuFont = CreateFontIndirectA(&metrics.lfMenuFont);
    HMENU bar = GetMenu(window);
    for (int i = 1; i < GetMenuItemCount(bar); ++i) {
        char text[32] = {};
        GetMenuStringA(bar, UINT(i), text, sizeof text, MF_BYPOSITION);
        RECT item{};
        GetMenuItemRect(window, bar, UINT(i), &item);
        m["menu " + std::string(text) + " height"] = item.bottom - item.top;
        const SIZE size = textSize(window, menuFont, text);
        m["fits menu " + std::string(text)] =
            size.cx <= item.right - item.left && size.cy <= item.bottom - item.top;
    }
    DeleteObject(menuFont);
}

void measureReminderWindow(Measures& m) {
    char* block = new char[reminderBlockSize];
    writeReminderBlock(block, "Project review", "Room 4.12", "Date & Time : 17-06-2026  09:05");
    CloseHandle(CreateThread(nullptr, 0, reminderWindowThread, block, 0, nullptr));
    const auto windows = wt::waitForReminders(GetCurrentProcessId(), 1);
    if (windows.empty())
        return; // every measure missing fails
    RECT frame{};
    GetWindowRect(windows[0], &frame);
    m["reminder left"] = frame.left;
    m["reminder top"] = frame.top;
    RECT client{}; // the frame is the system's, drawn with its own metrics
    GetClientRect(windows[0], &client);
    m["reminder client width"] = client.right;
    m["reminder client height"] = client.bottom;
    measureRect(m, "reminder OK", GetDlgItem(windows[0], IDOK));
    measureFit(m, "reminder OK", GetDlgItem(windows[0], IDOK));
    for (int control : {IDC_APPOINTMENT, IDC_LOCATION, IDC_REMINDER_DATE})
        measureFit(m, "reminder line " + std::to_string(control), GetDlgItem(windows[0], control));
    wt::closeReminders(GetCurrentProcessId());
}

void measureSplash(Measures& m) {
    const DWORD thread = startSplashThread(app->instance);
    HWND splash = wt::waitForWindow("Splash", GetCurrentProcessId(), 5000);
    if (!splash)
        return;
    measureRect(m, "splash", splash);
    PostThreadMessageA(thread, WM_SPLASH_CLOSE, 0, 0);
    wt::pumpUntil([&] { return !IsWindow(splash); });
}

Measures measure() {
    wt::ProgramWindow program;
    Measures m;
    m["dpi"] = displayDpi();
    measureNotificationWindow(m, program.window);
    measureReminderWindow(m);
    measureSplash(m);
    return m;
}

// The display's DPI of the prefix, read by each process as it starts; put back afterwards.
class LogPixels {
public:
    explicit LogPixels(DWORD dpi) {
        RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0,
                        KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
        DWORD size = sizeof old_;
        had_ = RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&old_),
                                &size) == ERROR_SUCCESS;
        RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    }
    ~LogPixels() {
        if (had_)
            RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_),
                           sizeof old_);
        else
            RegDeleteValueA(key_, name);
        RegCloseKey(key_);
    }

private:
    static constexpr char name[] = "LogPixels";
    HKEY key_{};
    DWORD old_ = 0;
    bool had_ = false;
};

// This test executable started again at `dpi`, reporting its measures.
Measures measureAt(DWORD dpi) {
    LogPixels display(dpi);
    char folder[MAX_PATH] = {}, report[MAX_PATH] = {}, self[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    GetTempFileNameA(folder, "dpi", 0, report);
    GetModuleFileNameA(nullptr, self, sizeof self);
    SetEnvironmentVariableA(reportVariable, report);
    wt::Process child(self, "--gtest_filter=DisplayScaleReport.* --gtest_color=no");
    const auto exit = child.waitForExit(120000);
    SetEnvironmentVariableA(reportVariable, nullptr);
    EXPECT_EQ(exit, 0u) << "the measuring run at " << dpi << " DPI";
    Measures m;
    std::ifstream in(report);
    for (std::string line; std::getline(in, line);)
        if (const size_t tab = line.rfind('\t'); tab != std::string::npos)
            m[line.substr(0, tab)] = std::atoi(line.c_str() + tab + 1);
    in.close();
    DeleteFileA(report);
    return m;
}

// Run only as the child of the test below.
TEST(DisplayScaleReport, WritesTheMeasures) {
    const char* report = std::getenv(reportVariable);
    if (!report)
        GTEST_SKIP() << "started by DisplayScale only";
    std::ofstream out(report);
    for (const auto& [name, value] : measure())
        out << name << '\t' << value << '\n';
}

TEST(DisplayScale, EverySizeScalesWithTheDisplayAndNoTextIsCut) {
    const Measures base = measure();
    ASSERT_EQ(base.at("dpi"), 96) << "the tests' prefix runs at 96 DPI";
    for (const auto& [name, value] : base) {
        if (name.starts_with("fits ")) {
            EXPECT_EQ(value, 1) << name << " at 96 DPI";
        }
    }

    for (const int dpi : {144, 192}) {
        const Measures scaledUp = measureAt(DWORD(dpi));
        ASSERT_EQ(scaledUp.count("dpi"), 1u) << "no report at " << dpi;
        EXPECT_EQ(scaledUp.at("dpi"), dpi);
        for (const auto& [name, value] : base) {
            const auto found = scaledUp.find(name);
            ASSERT_NE(found, scaledUp.end()) << name << " at " << dpi;
            if (name.starts_with("fits ")) {
                EXPECT_EQ(found->second, 1) << name << " at " << dpi << " DPI";
            } else if (name != "dpi") {
                EXPECT_NEAR(found->second, value * dpi / 96.0, 2.0)
                    << name << " at " << dpi << " DPI (" << value << " at 96)";
            }
        }
    }
}

} // namespace
