#pragma once
// A window that is never seen and exists to receive messages: posts from worker threads,
// hot keys, timers, tray-icon callbacks, registered broadcasts. Handlers are registered by
// message instead of overriding a procedure; a message without one gets DefWindowProc.
//
// Two kinds:
// - kMessageOnly (HWND_MESSAGE): invisible to EnumWindows and to broadcasts. The right
//   choice for posts aimed at the window by its handle.
// - kHiddenTopLevel (WS_POPUP, never shown): a top-level window, because some messages are
//   broadcast only to top-level windows and never reach a message-only one. The case that
//   matters: Explorer broadcasts the registered "TaskbarCreated" when it (re)starts, and a
//   tray icon must be added again then.
#include "framework/Window.h"

#include <functional>
#include <unordered_map>

namespace lv {

class MessageWindow : public Window {
  public:
    enum class Kind { kMessageOnly, kHiddenTopLevel };
    using Handler = std::function<LRESULT(WPARAM, LPARAM)>;

    // Creates the window on the calling thread, whose message loop then serves it. Throws
    // lv::Exception when the window cannot be created. `className`: a class name another
    // program finds the window by (FindWindowEx), instead of the framework's own.
    explicit MessageWindow(Kind kind = Kind::kMessageOnly, const wchar_t* className = nullptr);
    ~MessageWindow() override;

    // Replaces any earlier handler of the message. Handlers run on the window's thread;
    // register them before messages can arrive, not from inside a handler.
    void On(UINT message, Handler handler);
    // The same for a message registered by name (RegisterWindowMessageW); returns its
    // number. Throws lv::Exception when the name cannot be registered.
    UINT OnRegistered(const wchar_t* name, Handler handler);

  protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    std::unordered_map<UINT, Handler> handlers_;
};

} // namespace lv
