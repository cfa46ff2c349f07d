#include "desktop/GlobalHotKey.h"

#include "desktop/ShortcutCode.h"

#include <string>

namespace lv {

namespace {

constexpr wchar_t kClass[] = L"LvHotKeyWindow";
// The only registration of the key window, so WM_HOTKEY's identifier is never examined.
constexpr int kHotKeyId = 0;

} // namespace

TGlobalHotKey::KeyWindow::KeyWindow(TGlobalHotKey& owner) : owner_(owner) {
    RegisterWindowClassOnce(kClass);
    // A child of the desktop that is never shown: it has no size and no WS_VISIBLE.
    CreateHandle(0, kClass, L"", WS_CHILD, 0, 0, 0, 0, GetDesktopWindow());
}

TGlobalHotKey::KeyWindow::~KeyWindow() {
    DestroyHandle();
}

LRESULT TGlobalHotKey::KeyWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return owner_.NewWindowProc(message, wParam, lParam);
}

TGlobalHotKey::TGlobalHotKey() : keyWindow_(*this) {}

TGlobalHotKey::~TGlobalHotKey() {
    UnRegisterKey();
}

void TGlobalHotKey::SetEnabled(bool value) {
    enabled_ = value;
    if (value)
        RegisterKey();
    else
        UnRegisterKey();
}

void TGlobalHotKey::SetHotKey(uint16_t code) {
    if (code == key_)
        return;
    key_ = code;
    UnRegisterKey();
    if (enabled_)
        RegisterKey();
}

void TGlobalHotKey::Loaded() {
    if (enabled_)
        RegisterKey();
}

void TGlobalHotKey::RegisterKey() {
    if (registered_)
        return;
    HotKeyRegistration hotKey = DecodeShortcut(key_);
    registered_ = RegisterHotKey(keyWindow_.Handle(), kHotKeyId, hotKey.modifiers,
                                 hotKey.virtualKey) != FALSE;
}

void TGlobalHotKey::UnRegisterKey() {
    if (!registered_)
        return;
    UnregisterHotKey(keyWindow_.Handle(), kHotKeyId);
    registered_ = false;
}

LRESULT TGlobalHotKey::NewWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_HOTKEY && OnHotKey)
        OnHotKey();
    return DefWindowProcW(keyWindow_.Handle(), message, wParam, lParam);
}

} // namespace lv
