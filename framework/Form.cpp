#include "framework/Form.h"

#include "framework/Application.h"
#include "framework/Controls.h"
#include "framework/Gbk.h"

#include <commctrl.h>

#include <algorithm>
#include <tuple>

namespace lv {
namespace {

const wchar_t kFormClass[] = L"LvForm";
ATOM formAtom = 0;

// Every form of the process, for ShowModal to disable the others.
std::vector<TForm*>& AllForms() {
    static std::vector<TForm*> forms;
    return forms;
}

std::function<void(HWND, DWORD)>& FadeObserver() {
    static std::function<void(HWND, DWORD)> observer;
    return observer;
}

} // namespace

HFONT GetFont(const std::string& gbkName, int pixelHeight, BYTE charset) {
    static std::map<std::tuple<std::string, int, BYTE>, HFONT> fonts;
    auto key = std::make_tuple(gbkName, pixelHeight, charset);
    auto it = fonts.find(key);
    if (it != fonts.end())
        return it->second;
    // A negative height asks for the character height, as the layouts give it.
    HFONT font = CreateFontW(-pixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, ToWide(gbkName).c_str());
    fonts[key] = font;
    return font;
}

void SetFadeObserver(std::function<void(HWND, DWORD)> observer) {
    FadeObserver() = std::move(observer);
}

void TForm::RegisterFormClass() {
    formAtom =
        RegisterWindowClass(kFormClass, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
}

bool TForm::IsForm(HWND hwnd) {
    return formAtom && GetClassLongPtrW(hwnd, GCW_ATOM) == formAtom;
}

TForm::~TForm() {
    auto& forms = AllForms();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
    // Controls that outlive the form must not reach back into it.
    for (auto& [hwnd, control] : controls_)
        control->form_ = nullptr;
    controls_.clear();
    DestroyHandle();
}

void TForm::CreateForm(const FormLayout& layout) {
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_BORDER;
    if (layout.minimizeBox)
        style |= WS_MINIMIZEBOX;
    DWORD exStyle = layout.topmost ? WS_EX_TOPMOST : 0;
    RECT outer{0, 0, layout.clientWidth, layout.clientHeight};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    int width = outer.right - outer.left;
    int height = outer.bottom - outer.top;
    int left, top;
    if (layout.position) {
        left = layout.position->x;
        top = layout.position->y;
    } else {
        left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    }
    font_ = GetFont(layout.fontName, layout.fontHeight, layout.charset);
    fades_ = layout.fades;
    CreateHandle(exStyle, kFormClass, ToWide(layout.caption), style, left, top, width, height,
                 App().Handle());
    AllForms().push_back(this);
}

void TForm::Show() {
    if (Visible()) {
        // The command that asked for it must be seen to work, even when the window sits
        // behind another one or in the taskbar.
        if (IsIconic(Handle()))
            ShowWindow(Handle(), SW_RESTORE);
        SetForegroundWindow(Handle());
        BringWindowToTop(Handle());
        return;
    }
    FormShow();
    // A handler may have put the focus on a control of the hidden window; activation
    // would otherwise give it to the frame.
    HWND focus = GetFocus();
    if (focus && IsChild(Handle(), focus))
        focus_ = focus;
    Fade(AW_BLEND);
    // Also after a fade: AnimateWindow leaves the window visible but not active, and a
    // window shown by the tray or the hot key must take the keyboard.
    ShowWindow(Handle(), SW_SHOW);
    // After a fade the window is already visible, and showing it again does not activate
    // it everywhere (Wine).
    if (GetActiveWindow() != Handle())
        SetForegroundWindow(Handle());
    if (focus_ && IsWindow(focus_) && GetActiveWindow() == Handle())
        SetFocus(focus_);
}

void TForm::ShowWithoutActivating() {
    if (Visible())
        return;
    FormShow();
    SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void TForm::Hide() {
    if (!Visible())
        return;
    FormHide();
    Fade(AW_HIDE | AW_BLEND);
    ShowWindow(Handle(), SW_HIDE);
}

void TForm::Fade(DWORD flags) {
    if (!fades_ || !App().AnimateWindows())
        return;
    if (FadeObserver())
        FadeObserver()(Handle(), flags);
    AnimateWindow(Handle(), 200, flags);
    if (flags & AW_HIDE)
        return;
    // After the fade the controls have not painted themselves.
    for (HWND child = GetWindow(Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child))
            continue;
        ShowWindow(child, SW_HIDE);
        ShowWindow(child, SW_SHOW);
    }
}

void TForm::FocusControl(const TControl& control) {
    focus_ = control.Handle();
    if (Visible() && GetActiveWindow() == Handle())
        SetFocus(focus_);
}

void TForm::Close() {
    SendMessageW(Handle(), WM_CLOSE, 0, 0);
}

int TForm::ShowModal() {
    if (modal_) {
        // A second request (a hot key, a menu of a window shown meanwhile) while the first
        // loop still runs: bring the form forward; a nested loop would return into the
        // first one's state.
        SetForegroundWindow(Handle());
        BringWindowToTop(Handle());
        return 0;
    }
    HWND wasActive = GetActiveWindow();
    std::vector<HWND> disabled;
    for (TForm* form : AllForms()) {
        if (form != this && form->Visible() && IsWindowEnabled(form->Handle())) {
            EnableWindow(form->Handle(), FALSE);
            disabled.push_back(form->Handle());
        }
    }
    modal_ = true;
    modalResult_ = 0;
    Show();
    SetActiveWindow(Handle());
    MSG message;
    while (modalResult_ == 0) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: leave the quit message for the outer loop.
            App().Terminate();
            break;
        }
        App().Dispatch(message);
    }
    modal_ = false;
    // The others first, so that activation returns to one of ours.
    for (HWND hwnd : disabled)
        EnableWindow(hwnd, TRUE);
    Hide();
    if (wasActive && wasActive != Handle() && IsWindow(wasActive) && IsWindowVisible(wasActive))
        SetActiveWindow(wasActive);
    return modalResult_;
}

bool TForm::Visible() const {
    return Handle() && IsWindowVisible(Handle());
}

std::string TForm::Caption() const {
    int n = GetWindowTextLengthW(Handle());
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(Handle(), text.data(), n + 1);
    text.resize(static_cast<size_t>(n));
    return ToGbk(text);
}

void TForm::SetCaption(std::string_view gbk) {
    SetWindowTextW(Handle(), ToWide(gbk).c_str());
}

RECT TForm::Bounds() const {
    RECT r{};
    GetWindowRect(Handle(), &r);
    return r;
}

int TForm::Width() const {
    RECT r = Bounds();
    return r.right - r.left;
}

int TForm::Height() const {
    RECT r = Bounds();
    return r.bottom - r.top;
}

void TForm::SetPosition(int left, int top) {
    SetWindowPos(Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetHint(const TControl& control, std::string_view gbk) {
    if (!tooltip_) {
        tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                   WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
    }
    std::wstring text = ToWide(gbk);
    TTTOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = Handle();
    info.uId = reinterpret_cast<UINT_PTR>(control.Handle());
    info.lpszText = text.data();
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

std::string TForm::HintOf(const TControl& control) const {
    if (!tooltip_)
        return {};
    // The tooltip control keeps at most 80 characters of a hint it hands back.
    wchar_t buffer[81] = {};
    TTTOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = Handle();
    info.uId = reinterpret_cast<UINT_PTR>(control.Handle());
    info.lpszText = buffer;
    SendMessageW(tooltip_, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&info));
    return ToGbk(buffer);
}

void TForm::AddControl(TControl* control) {
    controls_[control->Handle()] = control;
    SendMessageW(control->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
}

void TForm::RemoveControl(TControl* control) {
    for (auto it = controls_.begin(); it != controls_.end(); ++it) {
        if (it->second == control) {
            controls_.erase(it);
            return;
        }
    }
}

TControl* TForm::ControlOf(HWND hwnd) const {
    auto it = controls_.find(hwnd);
    return it == controls_.end() ? nullptr : it->second;
}

TControl* TForm::ControlWithId(int id) const {
    for (const auto& [hwnd, control] : controls_)
        if (control->Id() == id)
            return control;
    return nullptr;
}

void TForm::ClickButton(TButton* button) {
    if (button && button->Enabled())
        button->Click();
}

LRESULT TForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE: {
        CloseAction action = CloseAction::Hide;
        FormClose(action);
        if (action == CloseAction::Hide) {
            if (modal_) {
                if (modalResult_ == 0)
                    modalResult_ = IDCANCEL;
            } else {
                Hide();
            }
        } else if (action == CloseAction::Quit) {
            if (Visible())
                Fade(AW_HIDE | AW_BLEND);
            ShowWindow(Handle(), SW_HIDE);
            if (modal_ && modalResult_ == 0)
                modalResult_ = IDCANCEL;
            App().Terminate();
        }
        return 0;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN: {
        TControl* control = ControlOf(reinterpret_cast<HWND>(lParam));
        if (control && control->Color()) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, *control->Color());
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(control->Brush());
        }
        break;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(Handle(), focus))
                focus_ = focus;
        } else if (focus_ && IsWindow(focus_) && IsWindowVisible(focus_) &&
                   IsWindowEnabled(focus_)) {
            SetFocus(focus_);
            return 0;
        }
        break;
    case DM_GETDEFID:
        if (defaultButton_)
            return MAKELRESULT(defaultButton_->Id(), DC_HASDEFID);
        return 0;
    }
    return Window::HandleMessage(message, wParam, lParam);
}

void TForm::OnCommand(int id, int code, HWND control) {
    if (control) {
        if (TControl* c = ControlOf(control))
            c->Notify(code);
        return;
    }
    if (id == IDCANCEL) {
        ClickButton(cancelButton_);
        return;
    }
    if (id == IDOK) {
        ClickButton(defaultButton_);
        return;
    }
    // A command posted with a button's ID (from outside the program) presses the button.
    if (auto* button = dynamic_cast<TButton*>(ControlWithId(id)))
        ClickButton(button);
}

} // namespace lv
