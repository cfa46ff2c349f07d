#include "framework/Control.h"

#include "framework/Exception.h"
#include "framework/Form.h"
#include "framework/Gbk.h"

namespace lv {
namespace {

std::string WindowText(HWND hwnd) {
    int n = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(static_cast<size_t>(n));
    return ToGbk(text);
}

} // namespace

TControl::~TControl() {
    // The child window is left to the form, whose own window takes it along when it goes.
    // Destroying it here would move the focus and notify the form while the form's
    // members are already half destroyed.
    if (form_)
        form_->RemoveControl(this);
    if (brush_)
        DeleteObject(brush_);
}

void TControl::CreateControl(TForm& form, int id, const wchar_t* windowClass, std::string_view text,
                             DWORD style, DWORD exStyle, int left, int top, int width, int height) {
    HWND hwnd = CreateWindowExW(exStyle | WS_EX_NOPARENTNOTIFY, windowClass, ToWide(text).c_str(),
                                WS_CHILD | WS_VISIBLE | style, left, top, width, height,
                                form.Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr);
    // A control without a window would fail silently at every later call; say so now.
    if (!hwnd)
        throw Exception("Unable to create control " + ToGbk(windowClass) + " (error " +
                        std::to_string(GetLastError()) + ")");
    form_ = &form;
    id_ = id;
    hwnd_ = hwnd;
    form.AddControl(this);
}

std::string TControl::Text() const {
    return WindowText(hwnd_);
}

void TControl::SetText(std::string_view gbk) {
    SetWindowTextW(hwnd_, ToWide(gbk).c_str());
}

bool TControl::Visible() const {
    return IsWindowVisible(hwnd_);
}

void TControl::SetVisible(bool visible) {
    ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
}

bool TControl::Enabled() const {
    return IsWindowEnabled(hwnd_);
}

void TControl::SetEnabled(bool enabled) {
    EnableWindow(hwnd_, enabled);
}

RECT TControl::Bounds() const {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void TControl::SetFont(HFONT font) {
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void TControl::SetColor(COLORREF color) {
    if (brush_)
        DeleteObject(brush_);
    color_ = color;
    brush_ = CreateSolidBrush(color);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

DWORD BevelExStyle(Bevel bevel) {
    switch (bevel) {
    case Bevel::Lowered:
        return WS_EX_CLIENTEDGE;
    case Bevel::Soft:
        return WS_EX_STATICEDGE;
    case Bevel::None:
        break;
    }
    return 0;
}

} // namespace lv
