#include "wine_test.h"

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

bool trayShowsIcons() {
    HWND tray = FindWindowA(nullptr, "Wine System Tray");
    return tray && IsWindowVisible(tray);
}

void postTrayMouse(HWND window, UINT mouseMessage) {
    PostMessageA(window, trayCallbackMessage, trayIconIdentifier, mouseMessage);
}

std::optional<MessageBoxText> dismissMessageBox(DWORD processId, DWORD timeoutMs) {
    // A message box is a visible dialog without a menu bar, unlike the notification window.
    HWND box = nullptr;
    pumpUntil(
        [&] {
            for (HWND window : topLevelWindows(processId)) {
                char className[64] = {};
                GetClassNameA(window, className, sizeof className);
                if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window) &&
                    !GetMenu(window))
                    return (box = window) != nullptr;
            }
            return false;
        },
        timeoutMs);
    if (!box)
        return std::nullopt;
    MessageBoxText read{windowText(box), {}};
    // The message is the longest static text; the icon is a static without text.
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[64] = {};
        GetClassNameA(child, className, sizeof className);
        if (_stricmp(className, "Static") == 0) {
            std::string text = windowText(child);
            if (text.size() > read.text.size())
                read.text = text;
        }
    }
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return read;
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

} // namespace wt
