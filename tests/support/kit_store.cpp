#include "kit_store.h"

#include <windows.h>

#include <random>

namespace wt {

namespace {

std::wstring temporaryStore() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"tavinel-store-" + std::to_wstring(std::random_device{}());
}

void setSetting(const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\MaildirMAPI", 0, nullptr, 0, KEY_WRITE, nullptr,
                    &key, nullptr);
    if (value.empty())
        RegDeleteValueW(key, name);
    else
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::wstring widen(const std::string& text) {
    return {text.begin(), text.end()};
}

} // namespace

KitStore::KitStore() : files(devkit::fs::path(temporaryStore())) {
    files.createStandardLayout();
    setSetting(L"StoreRoot", files.root().wstring());
    setFaults({});
    setLogon({});
}

KitStore::~KitStore() {
    setFaults({});
    setLogon({});
    std::error_code ignored;
    devkit::fs::remove_all(files.root(), ignored);
}

void KitStore::setFaults(const std::string& faults) {
    setSetting(L"Faults", widen(faults));
}
void KitStore::setLogon(const std::string& logon) {
    setSetting(L"Logon", widen(logon));
}

void KitStore::dropIpmSubtree() {
    devkit::fs::remove(files.root() / devkit::propertiesFile);
    files.open();
}

std::string KitStore::deliver(const std::string& from, const std::string& subject,
                              const std::string& body, const std::string& folder) {
    return files.deliver(folder.empty() ? inbox : folder,
                         devkit::composeMessage(from, "", subject, body, 0));
}

devkit::Bytes KitStore::messageId(const std::string& unique, const std::string& folder) const {
    return devkit::messageEntryId(files.uid(), folder.empty() ? inbox : folder, unique);
}

} // namespace wt
