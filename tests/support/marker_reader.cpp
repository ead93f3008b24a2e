// A stand-in for an external mail reader: leaves the file that TAVINEL_TEST_MARKER names, so a
// test can tell that it was started, and ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char marker[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("TAVINEL_TEST_MARKER", marker, MAX_PATH);
    if (!length || length >= MAX_PATH)
        return 1;
    const HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    CloseHandle(file);
    return 0;
}
