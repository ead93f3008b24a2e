#include "reader_window.h"

#include "server.h"

#include <map>
#include <string>

namespace reader {

namespace {

constexpr int margin = 8, labelWidth = 60, lineHeight = 20;
// A window costs its area in memory (under Wine, a surface of four bytes a pixel; 640 x 480
// took 1.2 MB a window): the size of a small reader, which a user may enlarge.
constexpr int windowWidth = 480, windowHeight = 320;

// The open windows by message; all on the server's one thread.
std::map<std::string, HWND> openWindows;
constexpr wchar_t noSubject[] = L"(no subject)";

struct Field {
    ReaderField id;
    const wchar_t* label;
};
constexpr Field headerFields[] = {
    {fieldFrom, L"From:"}, {fieldTo, L"To:"}, {fieldDate, L"Date:"}, {fieldSubject, L"Subject:"}};

std::wstring wide(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(size_t(size > 0 ? size : 0), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), size);
    return text;
}

void setFont(HWND control) {
    SendMessageW(control, WM_SETFONT, WPARAM(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}

void createControls(HWND window, const devkit::ReaderMessage& message) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const std::string* values[] = {&message.from, &message.to, &message.date, &message.subject};
    for (size_t i = 0; i < std::size(headerFields); ++i) {
        setFont(CreateWindowExW(0, L"STATIC", headerFields[i].label, WS_CHILD | WS_VISIBLE, 0, 0, 0,
                                0, window, nullptr, instance, nullptr));
        setFont(CreateWindowExW(0, L"EDIT", wide(*values[i]).c_str(),
                                WS_CHILD | WS_VISIBLE | ES_READONLY | ES_AUTOHSCROLL, 0, 0, 0, 0,
                                window, HMENU(INT_PTR(headerFields[i].id)), instance, nullptr));
    }
    setFont(CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", wide(message.body).c_str(),
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                                ES_AUTOVSCROLL,
                            0, 0, 0, 0, window, HMENU(INT_PTR(fieldBody)), instance, nullptr));
}

void layOut(HWND window, int width, int height) {
    int y = margin;
    HWND child = GetWindow(window, GW_CHILD);
    for (size_t i = 0; i < std::size(headerFields) && child; ++i, y += lineHeight) {
        MoveWindow(child, margin, y + 2, labelWidth, lineHeight - 4, FALSE);
        child = GetWindow(child, GW_HWNDNEXT);
        MoveWindow(child, margin + labelWidth, y + 2, width - 2 * margin - labelWidth,
                   lineHeight - 4, FALSE);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    MoveWindow(GetDlgItem(window, fieldBody), margin, y + margin, width - 2 * margin,
               height - y - 2 * margin, FALSE);
    InvalidateRect(window, nullptr, TRUE);
}

LRESULT CALLBACK readerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        createControls(window, *static_cast<const devkit::ReaderMessage*>(
                                   reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        windowOpened();
        return 0;
    case WM_SIZE:
        layOut(window, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CTLCOLORSTATIC: // read-only fields on the window's own background
        SetBkMode(HDC(wParam), TRANSPARENT);
        return LRESULT(GetSysColorBrush(COLOR_WINDOW));
    case WM_NCDESTROY:
        std::erase_if(openWindows, [&](const auto& open) { return open.second == window; });
        windowClosed();
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool registerClass() {
    static const bool registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = readerWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
        windowClass.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32516));     // IDI_INFORMATION
        windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
        windowClass.lpszClassName = readerWindowClass;
        return RegisterClassW(&windowClass) != 0;
    }();
    return registered;
}

} // namespace

HWND openReaderWindow(const devkit::ReaderMessage& message) {
    if (auto open = openWindows.find(message.item); open != openWindows.end()) {
        if (IsIconic(open->second))
            ShowWindow(open->second, SW_RESTORE);
        SetForegroundWindow(open->second);
        return open->second;
    }
    if (!registerClass())
        return nullptr;
    const std::wstring title = message.subject.empty() ? noSubject : wide(message.subject);
    const HWND window =
        CreateWindowExW(0, readerWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, windowWidth, windowHeight, nullptr, nullptr,
                        GetModuleHandleW(nullptr), const_cast<devkit::ReaderMessage*>(&message));
    if (!window)
        return nullptr;
    openWindows[message.item] = window;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetForegroundWindow(window);
    return window;
}

} // namespace reader
