#include "messenger/msgsvc/Popup.h"

#include "framework/Gbk.h"

#include <algorithm>
#include <atomic>

namespace lv::messenger {

namespace {

constexpr wchar_t kClass[] = L"LumivaleMessengerPopup";
constexpr int kMargin = 12;
constexpr int kTextWidth = 380;
constexpr int kMaxTextHeight = 600;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

struct PopupState {
    std::function<void()> closed;
    HFONT font = nullptr;
};

LRESULT CALLBACK PopupProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_NCCREATE: {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        break;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            DestroyWindow(hwnd);
            return 0;
        }
        break;
    case WM_CLOSE:
        // Destroyed here, not later: the capture relies on the window being gone when its
        // WM_CLOSE returns.
        DestroyWindow(hwnd);
        return 0;
    case WM_NCDESTROY: {
        auto* state = reinterpret_cast<PopupState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (state) {
            if (state->font)
                DeleteObject(state->font);
            try {
                if (state->closed)
                    state->closed();
            } catch (...) {
            }
            delete state;
        }
        break;
    }
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// Height the text needs at the fixed width, within limits (the text scrolls no further;
// the capture reads the control, not the screen).
int TextHeight(HFONT font, const std::wstring& text) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, kTextWidth, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return std::clamp(static_cast<int>(r.bottom - r.top), 16, kMaxTextHeight);
}

} // namespace

bool RegisterPopupClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PopupProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_INFORMATION));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClass;
    return RegisterClassExW(&wc) != 0;
}

bool ShowPopup(HINSTANCE instance, const std::string& text, std::function<void()> closed) {
    // Each new pop-up steps down and right of the last, so a burst does not hide in a stack.
    static std::atomic<int> serial{0};
    int step = serial++ % 10;

    auto* state = new PopupState{std::move(closed), nullptr};
    state->font = CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, L"宋体");
    std::wstring wide = ToWide(text);
    int textHeight = TextHeight(state->font, wide);

    RECT frame{0, 0, kMargin * 2 + kTextWidth, kMargin * 3 + textHeight + kButtonHeight};
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_TOPMOST | WS_EX_DLGMODALFRAME);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2 + step * 20 - 90;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 3 + step * 20;

    // Untitled until the message control holds the text: a capture finds pop-ups by their
    // title, and one that found a pop-up without its text would read nothing and close it.
    HWND hwnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, kClass, L"", style,
                                std::max(x, 0), std::max(y, 0), width, height, nullptr, nullptr,
                                instance, state);
    if (!hwnd) {
        DeleteObject(state->font);
        delete state;
        return false;
    }
    // From here on the window owns `state` and frees it in WM_NCDESTROY.
    HWND label = CreateWindowExW(
        0, L"STATIC", wide.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kMargin, kMargin,
        kTextWidth, textHeight, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPopupTextId)),
        instance, nullptr);
    HWND ok = CreateWindowExW(
        0, L"BUTTON", ToWide("确定").c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
        kMargin + (kTextWidth - kButtonWidth) / 2, kMargin * 2 + textHeight, kButtonWidth,
        kButtonHeight, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), instance,
        nullptr);
    if (!label || !ok) {
        DestroyWindow(hwnd);
        return true; // `closed` has run in WM_NCDESTROY
    }
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(state->font), FALSE);
    SendMessageW(ok, WM_SETFONT, reinterpret_cast<WPARAM>(state->font), FALSE);
    SetWindowTextW(hwnd, ToWide(kPopupTitle).c_str());
    // Ready now, shown or not: a running capture may take it while the window is still
    // being mapped on the screen, which takes the desktop a while.
    NoticeToCapture();
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    return true;
}

void NoticeToCapture() {
    if (!CaptureNoticesEnabled())
        return;
    static const UINT notice = RegisterWindowMessageW(kCaptureNoticeMessage);
    // Looked up each time: Lumivale may have started or ended since the last pop-up. A
    // post that fails only costs the capture its next timer tick.
    HWND capture = FindWindowExW(HWND_MESSAGE, nullptr, kCaptureNoticeClass, nullptr);
    if (capture && notice)
        PostMessageW(capture, notice, 0, 0);
}

namespace {
std::atomic<bool> noticesEnabled{true};
} // namespace

void EnableCaptureNotices(bool on) {
    noticesEnabled = on;
}

bool CaptureNoticesEnabled() {
    return noticesEnabled;
}

} // namespace lv::messenger
