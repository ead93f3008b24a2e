#include "call_log.h"

#include "reader_settings.h"

#include <cstdio>

namespace reader {

namespace {

constexpr size_t longestShownText = 256;

} // namespace

std::string utf8(const wchar_t* text, size_t length) {
    if (!text || !length)
        return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    std::string result(size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, int(length), result.data(), size, nullptr, nullptr);
    return result;
}

void logLine(const std::string& line) {
    // Opened for each line, sharing everything, so a reader may truncate or delete it at will.
    const HANDLE file = CreateFileW(settings().logFile.c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string describe(const VARIANT& argument) {
    const VARIANT* value = &argument;
    if (V_VT(value) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(value))
        value = V_VARIANTREF(value);
    if (V_VT(value) == VT_ERROR && V_ERROR(value) == DISP_E_PARAMNOTFOUND)
        return "missing";
    if (V_VT(value) == VT_BSTR || V_VT(value) == (VT_BSTR | VT_BYREF)) {
        const BSTR text = V_VT(value) == VT_BSTR ? V_BSTR(value) : *V_BSTRREF(value);
        const size_t length = SysStringLen(text);
        if (length <= longestShownText)
            return "\"" + utf8(text, length) + "\"";
        return "\"" + utf8(text, longestShownText) + "...\" (" + std::to_string(length) +
               " characters)";
    }
    char type[32];
    std::snprintf(type, sizeof type, "<type 0x%04X>", unsigned(V_VT(value)));
    return type;
}

} // namespace reader
