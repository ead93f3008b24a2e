// How the reader is found: the programmatic identifier of a mail client's application object,
// leading to the reader's class, served by maildirreader.exe.
#pragma once
#include <windows.h>

namespace reader {

// {BA05AAF7-A196-4C09-8583-E3E1D8F0EB02}
inline constexpr CLSID readerClassId = {
    0xBA05AAF7, 0xA196, 0x4C09, {0x85, 0x83, 0xE3, 0xE1, 0xD8, 0xF0, 0xEB, 0x02}};
inline constexpr wchar_t readerClassIdText[] = L"{BA05AAF7-A196-4C09-8583-E3E1D8F0EB02}";
inline constexpr wchar_t readerProgId[] = L"Outlook.Application";
inline constexpr wchar_t readerExecutable[] = L"maildirreader.exe";

} // namespace reader
