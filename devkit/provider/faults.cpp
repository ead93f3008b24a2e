#include "faults.h"

#include "maildir_store.h"

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

namespace maildir {

namespace {

struct Fault {
    long call;     // 1-based
    bool andLater; // "#N+": this call and every later one
    HRESULT code;
};

std::mutex lock;
std::map<std::string, std::vector<Fault>> faults;
std::map<std::string, long> calls;
std::string loaded;         // the setting the faults come from
HKEY followedKey = nullptr; // with `settingChanged`, when the setting is followed
HANDLE settingChanged = nullptr;

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string readSetting(HKEY key) {
    char text[4096] = "";
    DWORD size = sizeof text - 1;
    if (RegGetValueA(key, nullptr, "Faults", RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return {};
    return text;
}

// Under `lock`.
void load(const std::string& setting) {
    loaded = setting;
    faults.clear();
    calls.clear();
    std::istringstream entries(setting);
    std::string entry;
    while (std::getline(entries, entry, ';')) {
        const size_t hash = entry.find('#');
        const size_t equals = entry.find('=', hash == std::string::npos ? 0 : hash);
        if (hash == std::string::npos || equals == std::string::npos)
            continue;
        std::string count = trimmed(entry.substr(hash + 1, equals - hash - 1));
        const bool andLater = !count.empty() && count.back() == '+';
        if (andLater)
            count.pop_back();
        const long call = std::strtol(count.c_str(), nullptr, 10);
        const auto code =
            HRESULT(std::strtoul(trimmed(entry.substr(equals + 1)).c_str(), nullptr, 0));
        if (call > 0)
            faults[trimmed(entry.substr(0, hash))].push_back({call, andLater, code});
    }
}

// Under `lock`: a change of the followed key re-arms the watch and loads a new setting.
void followChanges() {
    if (!settingChanged || WaitForSingleObject(settingChanged, 0) != WAIT_OBJECT_0)
        return;
    RegNotifyChangeKeyValue(followedKey, FALSE, REG_NOTIFY_CHANGE_LAST_SET, settingChanged, TRUE);
    if (std::string setting = readSetting(followedKey); setting != loaded)
        load(setting);
}

} // namespace

void loadFaults(const std::string& setting) {
    std::lock_guard guard(lock);
    load(setting);
}

void followFaultSetting(const wchar_t* key) {
    std::lock_guard guard(lock);
    if (settingChanged)
        return;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_NOTIFY | KEY_QUERY_VALUE, &followedKey) !=
        ERROR_SUCCESS)
        return;
    settingChanged = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (settingChanged && RegNotifyChangeKeyValue(followedKey, FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                                  settingChanged, TRUE) == ERROR_SUCCESS)
        return;
    if (settingChanged)
        CloseHandle(settingChanged);
    settingChanged = nullptr;
    RegCloseKey(followedKey);
    followedKey = nullptr;
}

namespace {
std::atomic<HRESULT (*)(const char*)> callGate{nullptr};
} // namespace

void setCallGate(HRESULT (*gate)(const char* method)) {
    callGate = gate;
}

HRESULT injectedFault(const char* method) {
    if (const auto gate = callGate.load()) // not under the lock: the gate may wait
        if (const HRESULT refused = gate(method); FAILED(refused))
            return refused;
    std::lock_guard guard(lock);
    followChanges();
    auto found = faults.find(method);
    if (found == faults.end())
        return S_OK;
    const long call = ++calls[method];
    for (const Fault& fault : found->second)
        if (call == fault.call || (fault.andLater && call > fault.call))
            return fault.code;
    return S_OK;
}

void holdReadsOnFault() {
    devkit::setBetweenCheckAndRead([](const devkit::fs::path&) {
        if (SUCCEEDED(injectedFault("File::read")))
            return;
        HANDLE held = CreateEventW(nullptr, TRUE, FALSE, devkit::kReadHeldEvent);
        HANDLE resume = CreateEventW(nullptr, TRUE, FALSE, devkit::kReadResumeEvent);
        if (held && resume) {
            SetEvent(held);
            WaitForSingleObject(resume, 10000);
            ResetEvent(resume);
        }
        for (HANDLE event : {held, resume})
            if (event)
                CloseHandle(event);
    });
}

} // namespace maildir
