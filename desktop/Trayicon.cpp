#include "desktop/Trayicon.h"

#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Form.h"
#include "framework/Gbk.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>

namespace lv {

namespace {

std::function<BOOL(DWORD, const NOTIFYICONDATAW&)>& ShellNotifyHandler() {
    static std::function<BOOL(DWORD, const NOTIFYICONDATAW&)> handler;
    return handler;
}

// Hints of this many characters or more are refused whole rather than cut.
constexpr size_t kHintLimit = 64;
constexpr UINT_PTR kRetryTimer = 1;

template <size_t N> void CopyWide(std::string_view gbk, wchar_t (&to)[N]) {
    std::wstring wide = ToWide(gbk);
    size_t n = std::min(wide.size(), N - 1);
    std::fill(std::begin(to), std::end(to), L'\0');
    std::copy_n(wide.begin(), n, to);
}

} // namespace

void SetShellNotifyHandler(std::function<BOOL(DWORD, const NOTIFYICONDATAW&)> notify) {
    ShellNotifyHandler() = std::move(notify);
}

TTrayIcon::TTrayIcon() {
    currentIcon_ = CopyIcon(LoadIconW(nullptr, IDI_APPLICATION));
    data_.cbSize = sizeof data_;
    data_.hWnd = window_.Handle();
    // Unique per instance: several icons of one window would be told apart by it.
    data_.uID = static_cast<UINT>(reinterpret_cast<uintptr_t>(this));
    data_.uFlags = NIF_MESSAGE | NIF_ICON;
    data_.uCallbackMessage = kCallbackMessage;

    for (UINT message : {UINT{WM_QUERYENDSESSION}, UINT{WM_ENDSESSION}, kCallbackMessage})
        window_.On(message, [this, message](WPARAM wParam, LPARAM lParam) {
            return DoMessage(message, wParam, lParam);
        });
    // Explorer broadcasts this to top-level windows when it (re)starts, with an empty
    // notification area: an icon that was there must be added again or it is lost.
    window_.OnRegistered(L"TaskbarCreated", [this](WPARAM, LPARAM) {
        if (visible_) {
            added_ = false;
            if (TryAdd())
                retriesLeft_ = 0;
        }
        return LRESULT{0};
    });
    window_.On(WM_TIMER, [this](WPARAM id, LPARAM) {
        if (id == kRetryTimer)
            RetryAdd();
        return LRESULT{0};
    });
    Update();
}

TTrayIcon::~TTrayIcon() {
    KillTimer(window_.Handle(), kRetryTimer);
    Notify(NIM_DELETE);
    SetHook(false);
    if (currentIcon_)
        DestroyIcon(currentIcon_);
}

BOOL TTrayIcon::Notify(DWORD message) {
    if (ShellNotifyHandler())
        return ShellNotifyHandler()(message, data_);
    return Shell_NotifyIconW(message, &data_);
}

bool TTrayIcon::TryAdd() {
    if (!added_)
        added_ = Notify(NIM_ADD) || Notify(NIM_MODIFY);
    return added_;
}

void TTrayIcon::RetryAdd() {
    if (!visible_ || TryAdd() || --retriesLeft_ <= 0) {
        // From here on only the shell's own announcement brings the icon.
        KillTimer(window_.Handle(), kRetryTimer);
        retriesLeft_ = 0;
    }
}

void TTrayIcon::SetVisible(bool visible) {
    visible_ = visible;
    if (visible) {
        // The program goes on without its icon: it captures, logs and queues as ever, and a
        // shell that is not there yet must not end it while msgsvc.exe's pop-ups wait.
        if (!TryAdd() && retriesLeft_ == 0) {
            retriesLeft_ = kRetries;
            SetTimer(window_.Handle(), kRetryTimer, kRetryMs, nullptr);
        }
        SetHook(true);
    } else {
        KillTimer(window_.Handle(), kRetryTimer);
        retriesLeft_ = 0;
        bool wasAdded = added_;
        added_ = false;
        SetHook(false);
        if (!Notify(NIM_DELETE) && wasAdded)
            throw Exception("Cannot Remove System Shell Notification Icon");
    }
}

bool TTrayIcon::ShowNotice(std::string_view titleGbk, std::string_view textGbk) {
    if (!visible_ || !added_)
        return false;
    CopyWide(titleGbk, data_.szInfoTitle);
    CopyWide(textGbk, data_.szInfo);
    // The program plays its own sound when the setting says so; the notification adds none,
    // and waits while the user presents or is in quiet hours.
    data_.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND | NIIF_RESPECT_QUIET_TIME;
    data_.uFlags |= NIF_INFO;
    BOOL shown = Notify(NIM_MODIFY);
    // Only this call carries it: a later change of image or tip must not show it again.
    data_.uFlags &= ~NIF_INFO;
    data_.szInfo[0] = L'\0';
    data_.szInfoTitle[0] = L'\0';
    return shown != FALSE;
}

void TTrayIcon::SetHint(std::string_view gbk) {
    // Characters, not bytes: a Chinese character is two GBK bytes but one character of the
    // tip, and every GBK character is one UTF-16 unit.
    std::wstring wide = ToWide(gbk);
    if (gbk == hint_ || wide.size() >= kHintLimit)
        return;
    hint_ = std::string(gbk);
    CopyWide(hint_, data_.szTip);
    if (hint_.empty())
        data_.uFlags &= ~NIF_TIP;
    else
        data_.uFlags |= NIF_TIP;
    Update();
}

void TTrayIcon::SetIcons(const TImageList* icons) {
    icons_ = icons;
    TakeImage();
    Update();
}

void TTrayIcon::SetIconIndex(int index) {
    iconIndex_ = index;
    TakeImage();
    Update();
}

void TTrayIcon::TakeImage() {
    if (!icons_ || iconIndex_ < 0 || iconIndex_ >= icons_->Count())
        return;
    if (HICON icon = icons_->GetIcon(iconIndex_)) {
        if (currentIcon_)
            DestroyIcon(currentIcon_);
        currentIcon_ = icon;
    }
}

void TTrayIcon::Update() {
    data_.hIcon = currentIcon_;
    if (visible_ && added_)
        Notify(NIM_MODIFY);
}

void TTrayIcon::EndSession() {
    Notify(NIM_DELETE);
    added_ = false;
}

unsigned TTrayIcon::ShiftState() {
    unsigned shift = 0;
    if (GetKeyState(VK_SHIFT) < 0)
        shift |= kShift;
    if (GetKeyState(VK_CONTROL) < 0)
        shift |= kCtrl;
    if (GetKeyState(VK_MENU) < 0)
        shift |= kAlt;
    return shift;
}

LRESULT TTrayIcon::DoMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    switch (message) {
    case WM_QUERYENDSESSION:
        return 1;
    case WM_ENDSESSION:
        EndSession();
        return 0;
    case kCallbackMessage:
        MouseAction(LOWORD(lParam));
        return 0;
    default:
        return DefWindowProcW(Handle(), message, wParam, lParam);
    }
}

void TTrayIcon::MouseAction(UINT mouseMessage) {
    POINT at{};
    GetCursorPos(&at);
    unsigned shift = ShiftState();
    switch (mouseMessage) {
    case WM_LBUTTONDOWN:
        DoMouseDown(MouseButton::Left, shift | kLeftButton, at.x, at.y);
        break;
    case WM_LBUTTONUP:
        if (OnClick)
            DoClick();
        DoMouseUp(MouseButton::Left, shift | kLeftButton, at.x, at.y);
        RestoreOrShowMenuOn(TTrayIconMessage::imLeftClickUp);
        break;
    case WM_LBUTTONDBLCLK:
        DoDblClick();
        RestoreOrShowMenuOn(TTrayIconMessage::imLeftDoubleClick);
        break;
    case WM_RBUTTONDOWN:
        DoMouseDown(MouseButton::Right, shift | kRightButton, at.x, at.y);
        break;
    case WM_RBUTTONUP:
        DoMouseUp(MouseButton::Right, shift | kRightButton, at.x, at.y);
        RestoreOrShowMenuOn(TTrayIconMessage::imRightClickUp);
        break;
    case WM_RBUTTONDBLCLK:
        DoDblClick();
        RestoreOrShowMenuOn(TTrayIconMessage::imRightDoubleClick);
        break;
    case WM_MBUTTONDOWN:
        DoMouseDown(MouseButton::Middle, shift | kMiddleButton, at.x, at.y);
        break;
    case WM_MBUTTONUP:
        DoMouseUp(MouseButton::Middle, shift | kMiddleButton, at.x, at.y);
        break;
    case WM_MBUTTONDBLCLK:
        DoDblClick();
        break;
    case WM_MOUSEMOVE:
        DoMouseMove(shift, at.x, at.y);
        break;
    case NIN_BALLOONUSERCLICK:
        if (OnNoticeClick)
            OnNoticeClick();
        break;
    default:
        break;
    }
}

void TTrayIcon::RestoreOrShowMenuOn(TTrayIconMessage action) {
    // Restore before the menu, always: a setting that names the same action for both
    // brings the application back before its menu opens.
    if (RestoreOn == action)
        Restore();
    if (PopupMenuOn == action)
        ShowMenu();
}

void TTrayIcon::DoClick() {
    RestoreOrShowMenuOn(TTrayIconMessage::imClick);
    if (OnClick)
        OnClick();
}

void TTrayIcon::DoDblClick() {
    RestoreOrShowMenuOn(TTrayIconMessage::imDoubleClick);
}

void TTrayIcon::DoMouseMove(unsigned shift, int x, int y) {
    if (OnMouseMove)
        OnMouseMove(shift, x, y);
}

void TTrayIcon::DoMouseDown(MouseButton button, unsigned shift, int x, int y) {
    RestoreOrShowMenuOn(TTrayIconMessage::imMouseDown);
    if (OnMouseDown)
        OnMouseDown(button, shift, x, y);
}

void TTrayIcon::DoMouseUp(MouseButton button, unsigned shift, int x, int y) {
    RestoreOrShowMenuOn(TTrayIconMessage::imMouseUp);
    if (OnMouseUp)
        OnMouseUp(button, shift, x, y);
}

void TTrayIcon::Minimize() {
    // The forms are owned by the application window: minimizing it takes them off the
    // screen with it, and hiding it leaves no taskbar button behind.
    ShowWindow(App().Handle(), SW_MINIMIZE);
    ShowWindow(App().Handle(), SW_HIDE);
    if (OnMinimize)
        OnMinimize();
}

void TTrayIcon::Restore() {
    ShowWindow(App().Handle(), SW_RESTORE);
    SetForegroundWindow(App().Handle());
    if (OnRestore)
        OnRestore();
}

void TTrayIcon::ShowMenu() {
    POINT at{};
    GetCursorPos(&at);
    // A menu whose owner is not in the foreground stays open when the user clicks
    // elsewhere; the active form comes to the front first.
    HWND active = GetActiveWindow();
    if (active && TForm::IsForm(active))
        SetForegroundWindow(active);
    if (PopupMenu)
        PopupMenu->Popup(at.x, at.y);
}

void TTrayIcon::SetHook(bool installed) {
    if (installed == hooked_ || !App().Handle())
        return;
    auto id = reinterpret_cast<UINT_PTR>(this);
    if (installed)
        hooked_ = SetWindowSubclass(App().Handle(), ApplicationHookProc, id,
                                    reinterpret_cast<DWORD_PTR>(this));
    else if (RemoveWindowSubclass(App().Handle(), ApplicationHookProc, id))
        hooked_ = false;
}

LRESULT CALLBACK TTrayIcon::ApplicationHookProc(HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    // The taskbar button's minimize and restore reach the application window; the icon
    // takes them over, and the message still goes on to its normal handling.
    if (message == WM_SYSCOMMAND) {
        auto* icon = reinterpret_cast<TTrayIcon*>(self);
        try {
            if ((wParam & 0xFFF0) == SC_MINIMIZE)
                icon->Minimize();
            else if ((wParam & 0xFFF0) == SC_RESTORE)
                icon->Restore();
        } catch (...) {
            // Nothing may unwind through the system's frames.
            App().HandleException(std::current_exception());
        }
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

} // namespace lv
