#include "reader_registration.h"

#include "reader_class.h"

#include <string>

namespace maildir {

namespace {

const std::wstring classesKey = L"Software\\Classes\\";

bool setText(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_SZ, value.c_str(),
                           DWORD((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::wstring readText(const std::wstring& key) {
    wchar_t value[64] = L"";
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return {};
    return value;
}

} // namespace

HRESULT registerReader(const wchar_t* providerPath) {
    std::wstring server = providerPath;
    server.erase(server.find_last_of(L"\\/") + 1);
    server += reader::readerExecutable;
    if (GetFileAttributesW(server.c_str()) == INVALID_FILE_ATTRIBUTES)
        return S_OK;
    const std::wstring classKey = classesKey + L"CLSID\\" + reader::readerClassIdText;
    const std::wstring progIdKey = classesKey + reader::readerProgId;
    constexpr wchar_t description[] = L"Maildir reader (development kit)";
    const bool written = setText(classKey, nullptr, description) &&
                         setText(classKey + L"\\LocalServer32", nullptr, L"\"" + server + L"\"") &&
                         setText(classKey + L"\\ProgID", nullptr, reader::readerProgId) &&
                         setText(progIdKey, nullptr, description) &&
                         setText(progIdKey + L"\\CLSID", nullptr, reader::readerClassIdText);
    return written ? S_OK : E_ACCESSDENIED;
}

void unregisterReader() {
    const std::wstring progIdKey = classesKey + reader::readerProgId;
    if (readText(progIdKey + L"\\CLSID") == reader::readerClassIdText)
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, progIdKey.c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                   (classesKey + L"CLSID\\" + reader::readerClassIdText).c_str());
}

} // namespace maildir
