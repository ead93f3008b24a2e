#include "reader_settings.h"

#include "faults.h"

#include <windows.h>

#include <cwchar>

namespace reader {

namespace {

constexpr wchar_t settingsKey[] = L"Software\\MaildirMAPI";

Settings current;

std::wstring readText(const wchar_t* name) {
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, settingsKey, name, RRF_RT_REG_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS ||
        size < sizeof(wchar_t))
        return {};
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(HKEY_CURRENT_USER, settingsKey, name, RRF_RT_REG_SZ, nullptr, text.data(),
                     &size) != ERROR_SUCCESS)
        return {};
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

std::wstring environment(const wchar_t* name, const wchar_t* fallback) {
    wchar_t value[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length && length < MAX_PATH ? value : fallback;
}

std::string narrow(const std::wstring& text) {
    std::string result;
    for (const wchar_t c : text)
        result += c < 0x80 ? char(c) : '?'; // method names and codes are ASCII
    return result;
}

} // namespace

const Settings& settings() {
    return current;
}

void reloadSettings() {
    current.storeRoot = readText(L"StoreRoot");
    if (current.storeRoot.empty())
        current.storeRoot = environment(L"USERPROFILE", L"C:\\") + L"\\Maildir";
    current.logFile = readText(L"ReaderLog");
    if (current.logFile.empty())
        current.logFile = environment(L"TEMP", L"C:\\") + L"\\maildirreader.log";
    current.rejectCalls = unsigned(std::wcstoul(readText(L"RejectCalls").c_str(), nullptr, 10));
    maildir::loadFaults(narrow(readText(L"Faults")));
    maildir::holdReadsOnFault();
}

} // namespace reader
