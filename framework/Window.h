#pragma once
// The one window base: a static window procedure that finds its object through the
// pointer stored at WM_NCCREATE, hands messages to methods, and keeps exceptions from
// unwinding through the system's frames (one catch, at the dispatch point).
#include <windows.h>

#include <string>

namespace lv {

class Window {
  public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND Handle() const { return hwnd_; }

    // Registers a window class whose procedure is Window's; returns its atom.
    static ATOM RegisterWindowClass(const wchar_t* name, UINT style, HBRUSH background);
    // The same for a plain class (no style, no background) that several objects share;
    // registered by whichever comes first. Raises lv::Exception when it cannot be.
    static void RegisterWindowClassOnce(const wchar_t* name);

  protected:
    HWND CreateHandle(DWORD exStyle, const wchar_t* className, const std::wstring& text,
                      DWORD style, int x, int y, int width, int height, HWND parent);
    void DestroyHandle();

    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // WM_COMMAND, split: the item or control ID, the notification code, and the
    // control's window (null for menu items and accelerators).
    virtual void OnCommand(int id, int code, HWND control);

  private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};

} // namespace lv
