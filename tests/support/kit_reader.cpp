#include "kit_reader.h"

#include "wine_test.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace wt {

namespace {

constexpr char readerWindowClass[] = "MaildirReaderWindow";

void setReaderLog(const std::wstring& file) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\MaildirMAPI", 0, nullptr, 0, KEY_WRITE, nullptr,
                    &key, nullptr);
    if (file.empty())
        RegDeleteValueW(key, L"ReaderLog");
    else
        RegSetValueExW(key, L"ReaderLog", 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                       DWORD((file.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

} // namespace

KitReader::KitReader() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    file_ = std::wstring(temp) + L"reader-log-" + std::to_wstring(std::random_device{}()) + L".txt";
    setReaderLog(file_);
    closeWindows();
}

KitReader::~KitReader() {
    setRejectCalls(0);
    closeWindows();
    setReaderLog({});
    DeleteFileW(file_.c_str());
}

void KitReader::setRejectCalls(unsigned count) const {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\MaildirMAPI", 0, nullptr, 0, KEY_WRITE, nullptr,
                    &key, nullptr);
    const std::wstring text = std::to_wstring(count);
    if (count == 0)
        RegDeleteValueW(key, L"RejectCalls");
    else
        RegSetValueExW(key, L"RejectCalls", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       DWORD((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::vector<std::string> KitReader::log() const {
    std::vector<std::string> lines;
    std::ifstream in{std::filesystem::path(file_)};
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

void KitReader::clearLog() const {
    DeleteFileW(file_.c_str());
}

bool KitReader::waitForLine(const std::string& text, DWORD timeoutMs) const {
    return pumpUntil(
        [&] {
            for (const std::string& line : log())
                if (line.find(text) != std::string::npos)
                    return true;
            return false;
        },
        timeoutMs);
}

bool KitReader::waitForNoObjects(DWORD timeoutMs) const {
    return pumpUntil(
        [&] {
            const auto lines = log();
            return !lines.empty() && lines.back().ends_with("(objects 0)");
        },
        timeoutMs);
}

std::vector<HWND> KitReader::windows() {
    std::vector<HWND> found;
    for (HWND window = FindWindowExA(nullptr, nullptr, readerWindowClass, nullptr); window;
         window = FindWindowExA(nullptr, window, readerWindowClass, nullptr))
        found.push_back(window);
    return found;
}

HWND KitReader::waitForWindow(const std::string& title, DWORD timeoutMs) {
    return wt::waitForWindow(title.c_str(), 0, timeoutMs, readerWindowClass);
}

void KitReader::closeWindows() {
    for (HWND window : windows())
        PostMessageA(window, WM_CLOSE, 0, 0);
    pumpUntil([] { return windows().empty(); });
}

std::string hexText(const std::vector<unsigned char>& bytes) {
    std::ostringstream text;
    static constexpr char digits[] = "0123456789ABCDEF";
    for (const unsigned char byte : bytes)
        text << digits[byte >> 4] << digits[byte & 15];
    return text.str();
}

} // namespace wt
