#include "framework/MessageWindow.h"

#include "framework/Exception.h"

#include <string>

namespace lv {

namespace {

constexpr wchar_t kClass[] = L"LvMessageWindow";

} // namespace

MessageWindow::MessageWindow(Kind kind, const wchar_t* className) {
    if (!className)
        className = kClass;
    RegisterWindowClassOnce(className);
    bool messageOnly = kind == Kind::kMessageOnly;
    // Raises lv::Exception when the window cannot be made.
    CreateHandle(messageOnly ? 0 : WS_EX_TOOLWINDOW, className, L"", messageOnly ? 0 : WS_POPUP, 0, 0,
                 0, 0, messageOnly ? HWND_MESSAGE : nullptr);
}

MessageWindow::~MessageWindow() {
    // Here rather than only in ~Window: by then the handlers would already be destroyed.
    DestroyHandle();
}

void MessageWindow::On(UINT message, Handler handler) {
    handlers_[message] = std::move(handler);
}

UINT MessageWindow::OnRegistered(const wchar_t* name, Handler handler) {
    UINT message = RegisterWindowMessageW(name);
    if (!message)
        throw Exception("cannot register the window message (error " +
                        std::to_string(GetLastError()) + ")");
    On(message, std::move(handler));
    return message;
}

LRESULT MessageWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    auto it = handlers_.find(message);
    if (it != handlers_.end() && it->second)
        return it->second(wParam, lParam);
    return DefWindowProcW(Handle(), message, wParam, lParam);
}

} // namespace lv
