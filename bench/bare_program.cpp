// The smallest program that uses what tavinel.exe uses: OLE, the common controls, a MAPI logon
// on the system's store, and one window. The scale benchmark compares its memory with the
// program's. Ends when its window is closed.
#include <windows.h>
#include <commctrl.h>
#include <mapix.h>
#include <ole2.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    LPMAPISESSION session = nullptr;
    if (SUCCEEDED(MAPIInitialize(nullptr)))
        MAPILogonEx(0, nullptr, nullptr, MAPI_EXTENDED | MAPI_USE_DEFAULT, &session);

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam,
                                 LPARAM lParam) -> LRESULT {
        if (message == WM_DESTROY)
            PostQuitMessage(0);
        return DefWindowProcA(window, message, wParam, lParam);
    };
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "BareProgram";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("BareProgram", "Bare program", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                nullptr, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (session)
        session->Release();
    MAPIUninitialize();
    OleUninitialize();
    return 0;
}
