#include "framework/Window.h"

#include "framework/Application.h"
#include "framework/Exception.h"

#include <string>

namespace lv {

Window::~Window() {
    DestroyHandle();
}

ATOM Window::RegisterWindowClass(const wchar_t* name, UINT style, HBRUSH background) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc);
}

void Window::RegisterWindowClassOnce(const wchar_t* name) {
    if (RegisterWindowClass(name, 0, nullptr))
        return;
    DWORD error = GetLastError();
    if (error != ERROR_CLASS_ALREADY_EXISTS)
        throw Exception("Unable to register a window class (error " + std::to_string(error) + ")");
}

HWND Window::CreateHandle(DWORD exStyle, const wchar_t* className, const std::wstring& text,
                          DWORD style, int x, int y, int width, int height, HWND parent) {
    HWND hwnd = CreateWindowExW(exStyle, className, text.c_str(), style, x, y, width, height,
                                parent, nullptr, GetModuleHandleW(nullptr), this);
    if (!hwnd) {
        DWORD error = GetLastError();
        hwnd_ = nullptr;
        throw Exception("Unable to create a window (error " + std::to_string(error) + ")");
    }
    return hwnd;
}

void Window::DestroyHandle() {
    HWND hwnd = hwnd_;
    if (!hwnd)
        return;
    // Unbound first: whatever the destruction sends (WM_DESTROY, focus changes, the
    // children's notifications) goes to the default procedure, never to an object that
    // is half gone.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    DestroyWindow(hwnd);
}

LRESULT Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Window::OnCommand(int, int, HWND) {}

LRESULT CALLBACK Window::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    // Messages that come before WM_NCCREATE (WM_GETMINMAXINFO) have no object yet.
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        App().HandleException(std::current_exception());
        return 0;
    }
}

} // namespace lv
