#include "settings.h"

#include "mapi.h"
#include "properties.h"

namespace maildir {

namespace {

std::wstring readText(HKEY key, const wchar_t* name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()),
                         &size) != ERROR_SUCCESS)
        return {};
    text.resize(wcsnlen(text.c_str(), text.size()));
    if (type == REG_EXPAND_SZ) {
        wchar_t expanded[MAX_PATH * 2];
        if (ExpandEnvironmentStringsW(text.c_str(), expanded, MAX_PATH * 2))
            text = expanded;
    }
    return text;
}

} // namespace

Settings readSettings() {
    Settings settings;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, settingsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        settings.storeRoot = readText(key, L"StoreRoot");
        settings.logon = readText(key, L"Logon");
        settings.faults = wideToUtf8(readText(key, L"Faults").c_str());
        settings.stores = readText(key, L"Stores");
        settings.transports = readText(key, L"Transports");
        settings.status = readText(key, L"Status");
        settings.nameListing = readText(key, L"NameListing");
        settings.strictThreads = readText(key, L"StrictThreads");
        settings.foreignThreadCalls = readText(key, L"ForeignThreadCalls");
        settings.calendarFolder = wideToUtf8(readText(key, L"CalendarFolder").c_str());
        settings.notifyOnWatcherThread =
            _wcsicmp(readText(key, L"Notifications").c_str(), L"watcher") == 0;
        settings.notifyInCalls = readText(key, L"NotifyInCalls") == L"1";
        const std::wstring linger = readText(key, L"ReminderLinger");
        if (!linger.empty())
            settings.reminderLinger = std::wcstol(linger.c_str(), nullptr, 10);
        RegCloseKey(key);
    }
    if (settings.storeRoot.empty()) {
        wchar_t profile[MAX_PATH] = L"C:\\";
        GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
        settings.storeRoot = std::wstring(profile) + L"\\Maildir";
    }
    return settings;
}

} // namespace maildir
