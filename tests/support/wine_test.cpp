#include "wine_test.h"

#include "res/resource.h"

#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstring>

namespace wt {

namespace {
constexpr char configurationKey[] = "Software\\Brunok\\Tavinel";
constexpr UINT trayCallbackMessage = WM_USER + 2;
constexpr UINT trayIconIdentifier = 4097;

struct WindowSearch {
    const char* title;
    DWORD processId;
    const char* className;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->processId && owner != search->processId)
        return TRUE;
    if (search->className) {
        char name[256] = {};
        GetClassNameA(window, name, sizeof name);
        if (std::strcmp(name, search->className) != 0)
            return TRUE;
    }
    if (search->title && windowText(window) != search->title)
        return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK collectWindow(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == found->first)
        found->second.push_back(window);
    return TRUE;
}
} // namespace

bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return true;
}

void pumpFor(DWORD milliseconds) {
    pumpUntil([] { return false; }, milliseconds);
}

HWND findWindow(const char* title, DWORD processId, const char* className) {
    WindowSearch search{title, processId, className, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForWindow(const char* title, DWORD processId, DWORD timeoutMs, const char* className) {
    HWND found = nullptr;
    pumpUntil([&] { return (found = findWindow(title, processId, className)) != nullptr; },
              timeoutMs);
    return found;
}

HWND waitForDialog(const char* title, DWORD processId, DWORD timeoutMs) {
    HWND found = nullptr;
    pumpUntil(
        [&] {
            found = findWindow(title, processId, "#32770");
            return found && IsWindowVisible(found);
        },
        timeoutMs);
    return found && IsWindowVisible(found) ? found : nullptr;
}

std::vector<HWND> topLevelWindows(DWORD processId) {
    std::pair<DWORD, std::vector<HWND>> found{processId, {}};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&found));
    return found.second;
}

std::string windowText(HWND window) {
    char text[4096] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 2000, &length))
        return {};
    return std::string(text, length);
}

std::string controlText(HWND dialog, int controlId) {
    return windowText(GetDlgItem(dialog, controlId));
}

std::string listViewText(HWND list, int item, int subItem) {
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!process)
        return {};
    constexpr size_t capacity = 1024;
    auto* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + capacity, MEM_COMMIT, PAGE_READWRITE));
    std::string text;
    if (remote) {
        LVITEMA request{};
        request.iSubItem = subItem;
        request.cchTextMax = int(capacity);
        request.pszText = remote + sizeof request;
        WriteProcessMemory(process, remote, &request, sizeof request, nullptr);
        DWORD_PTR length = 0;
        SendMessageTimeoutA(list, LVM_GETITEMTEXTA, WPARAM(item), reinterpret_cast<LPARAM>(remote),
                            SMTO_ABORTIFHUNG, 2000, &length);
        text.resize(capacity);
        ReadProcessMemory(process, remote + sizeof request, text.data(), capacity, nullptr);
        text.resize(std::strlen(text.c_str()));
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return text;
}

int listViewCount(HWND list) {
    DWORD_PTR count = 0;
    SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
    return int(count);
}

bool trayShowsIcons() {
    HWND tray = FindWindowA(nullptr, "Wine System Tray");
    return tray && IsWindowVisible(tray);
}

void postTrayMouse(HWND window, UINT mouseMessage) {
    PostMessageA(window, trayCallbackMessage, trayIconIdentifier, mouseMessage);
}

std::optional<MessageBoxText> dismissMessageBox(DWORD processId, DWORD timeoutMs, HWND owner) {
    // A message box is a visible dialog without a menu bar, unlike the notification window.
    HWND box = nullptr;
    pumpUntil(
        [&] {
            for (HWND window : topLevelWindows(processId)) {
                char className[64] = {};
                GetClassNameA(window, className, sizeof className);
                if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window) &&
                    !GetMenu(window) && (!owner || GetWindow(window, GW_OWNER) == owner))
                    return (box = window) != nullptr;
            }
            return false;
        },
        timeoutMs);
    if (!box)
        return std::nullopt;
    MessageBoxText read{windowText(box), {}, {}};
    // The message is the longest static text; the icon is a static without text.
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[64] = {};
        GetClassNameA(child, className, sizeof className);
        if (_stricmp(className, "Static") == 0) {
            if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                read.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
            std::string text = windowText(child);
            if (text.size() > read.text.size())
                read.text = text;
        }
    }
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return read;
}

void clickButton(HWND dialog, int controlId) {
    PostMessageA(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0);
}

bool isChecked(HWND dialog, int controlId) {
    DWORD_PTR state = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, controlId), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000,
                        &state);
    return state == BST_CHECKED;
}

bool isEnabled(HWND dialog, int controlId) {
    return IsWindowEnabled(GetDlgItem(dialog, controlId));
}

namespace {

// 32 bits a pixel, top-down: blue, green, red and a spare byte, 0x00RRGGBB read as one
// little-endian value.
BITMAPINFO pixelFormat(int width, int height) {
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    return format;
}

} // namespace

Pixels bitmapPixels(HBITMAP bitmap) {
    BITMAP size{};
    if (!GetObjectA(bitmap, sizeof size, &size) || size.bmWidth <= 0 || size.bmHeight <= 0)
        return {};
    Pixels pixels;
    pixels.width = size.bmWidth;
    pixels.height = size.bmHeight;
    pixels.rgb.resize(size_t(pixels.width) * pixels.height);
    BITMAPINFO format = pixelFormat(pixels.width, pixels.height);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, UINT(pixels.height), pixels.rgb.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (uint32_t& value : pixels.rgb)
        value &= 0xFFFFFF;
    return pixels;
}

Pixels clientPixels(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    Pixels pixels;
    pixels.width = client.right;
    pixels.height = client.bottom;
    if (pixels.width <= 0 || pixels.height <= 0)
        return {};

    BITMAPINFO format = pixelFormat(pixels.width, pixels.height);
    void* bits = nullptr;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP copy = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, copy);
    BitBlt(memory, 0, 0, pixels.width, pixels.height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* values = static_cast<const uint32_t*>(bits);
    pixels.rgb.assign(values, values + size_t(pixels.width) * pixels.height);
    for (uint32_t& value : pixels.rgb)
        value &= 0xFFFFFF;
    SelectObject(memory, previous);
    DeleteObject(copy);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return pixels;
}

Process::Process(const std::string& exe, const std::string& arguments) {
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info_))
        info_ = {};
}

Process::~Process() {
    if (running()) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    if (info_.hProcess)
        CloseHandle(info_.hProcess);
    if (info_.hThread)
        CloseHandle(info_.hThread);
}

bool Process::running() const {
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::waitForExit(DWORD timeoutMs) {
    if (!info_.hProcess)
        return std::nullopt;
    const bool ended = pumpUntil([&] { return !running(); }, timeoutMs);
    DWORD code = 0;
    if (!ended || !GetExitCodeProcess(info_.hProcess, &code))
        return std::nullopt;
    return code;
}

size_t threadCount(DWORD processId) {
    size_t count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == processId;
    CloseHandle(snapshot);
    return count;
}

size_t residentBytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.WorkingSetSize : 0;
}

HWND waitForProgramReady(const Process& program, DWORD timeoutMs) {
    HWND window = waitForWindow("Tavinel 2.0", program.id(), timeoutMs);
    if (!window)
        return nullptr;
    auto splash = [&] { return findWindow("Splash", program.id()) != nullptr; };
    pumpUntil(splash, 5000);
    if (!pumpUntil([&] { return !splash(); }, timeoutMs))
        return nullptr;
    return window;
}

std::string binaryDir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.find_last_of("\\/"));
}

std::string tavinelExe() {
    return binaryDir() + "\\tavinel.exe";
}

ConfigurationKey::ConfigurationKey() {
    remove();
    RegCreateKeyExA(HKEY_CURRENT_USER, configurationKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key_, nullptr);
}

ConfigurationKey::~ConfigurationKey() {
    if (key_)
        RegCloseKey(key_);
    remove();
}

void ConfigurationKey::remove() {
    RegDeleteKeyA(HKEY_CURRENT_USER, configurationKey);
}

void ConfigurationKey::setNumber(const char* name, DWORD value) {
    setRaw(name, REG_DWORD, &value, sizeof value);
}

void ConfigurationKey::setText(const char* name, const std::string& text) {
    setRaw(name, REG_SZ, text.c_str(), DWORD(text.size() + 1));
}

void ConfigurationKey::setRaw(const char* name, DWORD type, const void* data, DWORD size) {
    RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size);
}

// Read through a new handle each time: the program may have deleted and created the key since.
namespace {
struct OpenKey {
    HKEY key{};
    OpenKey() { RegOpenKeyExA(HKEY_CURRENT_USER, configurationKey, 0, KEY_READ, &key); }
    ~OpenKey() {
        if (key)
            RegCloseKey(key);
    }
};
} // namespace

std::optional<DWORD> ConfigurationKey::number(const char* name) const {
    OpenKey open;
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(open.key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

std::optional<std::string> ConfigurationKey::text(const char* name) const {
    OpenKey open;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(open.key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    std::string value(size, '\0');
    if (RegQueryValueExA(open.key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(std::strlen(value.c_str()));
    return value;
}

bool ConfigurationKey::has(const char* name) const {
    OpenKey open;
    return RegQueryValueExA(open.key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

DWORD ConfigurationKey::valueCount() const {
    OpenKey open;
    DWORD count = 0;
    RegQueryInfoKeyA(open.key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                     nullptr, nullptr, nullptr, nullptr);
    return count;
}

void ConfigurationKey::writeValid() {
    setNumber("MSMailServer", 0);
    setNumber("TimerEnabled", 0);
    setNumber("OutLook", 1);
    setText("WavFile", "");
    setNumber("PlaySound", 0);
    setNumber("DisplayWindow", 1);
    setNumber("Calendar", 0);
    setNumber("Version", 12);
}

HWND startProgram(std::unique_ptr<Process>& program, const std::string& exe) {
    program = std::make_unique<Process>(exe.empty() ? tavinelExe() : exe);
    return waitForProgramReady(*program);
}

void exitProgram(const std::unique_ptr<Process>& program, HWND window) {
    if (program && program->running()) {
        PostMessageA(window, WM_COMMAND, ID_EXIT, 0);
        program->waitForExit();
    }
}

} // namespace wt
