// minimal: the floor for bench/startup.sh. The least a Win32 program does to show one
// window with Chinese text in the font Lumivale uses ("宋体", 9 pt), built with the same
// compiler, flags and static linking. Its window's caption is "LvMinimal".
//
// Built with -DLV_THEMED_FLOOR (and Lumivale's application manifest as a resource), it is the
// same program under the themed common controls, with the system DLLs Lumivale.exe imports
// loaded at start as Lumivale's are: the part of Lumivale's start-up that no change to its
// own code removes.
#ifdef LV_THEMED_FLOOR
#include <winsock2.h>
#endif
#include <windows.h>
#ifdef LV_THEMED_FLOOR
#include <commctrl.h>
#include <shellapi.h>

volatile bool g_never = false;
#endif

LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
#ifdef LV_THEMED_FLOOR
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    if (g_never) { // imported, so loaded at start, but never called
        Shell_NotifyIconW(NIM_DELETE, nullptr);
        WSAStartup(0, nullptr);
    }
#endif
    WNDCLASSW c{};
    c.lpfnWndProc = Proc;
    c.hInstance = instance;
    c.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    c.lpszClassName = L"LvMinimal";
    RegisterClassW(&c);
    HWND hwnd = CreateWindowExW(0, L"LvMinimal", L"LvMinimal", WS_OVERLAPPEDWINDOW, 100, 100, 300,
                                120, nullptr, nullptr, instance, nullptr);
    HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, L"\x5B8B\x4F53");
    HWND text = CreateWindowExW(0, L"STATIC", L"\x6B22\x8FCE\x4F7F\x7528\xFF0C\x4F60\x597D\xFF01",
                                WS_CHILD | WS_VISIBLE, 10, 10, 260, 20, hwnd, nullptr, instance,
                                nullptr);
    SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    DeleteObject(font);
    return 0;
}
