#pragma once
// One system-wide hot key. The component registers the combination with the system on a
// hidden window of its own and raises OnHotKey on the main thread at each press, also
// while a modal dialog runs (its loop dispatches the window's WM_HOTKEY like any other).
#include "framework/Window.h"

#include <cstdint>
#include <functional>

namespace lv {

class TGlobalHotKey {
  public:
    // Creates the key window on the calling thread, whose message loop then serves it.
    // Nothing is registered until SetEnabled, SetHotKey or Loaded asks for it.
    TGlobalHotKey();
    ~TGlobalHotKey();
    TGlobalHotKey(const TGlobalHotKey&) = delete;
    TGlobalHotKey& operator=(const TGlobalHotKey&) = delete;

    bool Enabled() const { return enabled_; }
    uint16_t Key() const { return key_; }
    // True while the system holds the registration. False after a failed attempt (another
    // program holds the combination): the owner reports that, the component never does.
    bool Registered() const { return registered_; }

    // True registers (again, if an earlier attempt failed); false releases at once.
    void SetEnabled(bool value);
    // A new shortcut code releases the old key and, when enabled, registers the new one.
    // The current code again changes nothing and makes no new attempt.
    void SetHotKey(uint16_t code);
    // After the owner has set Enabled and Key: registers when enabled.
    void Loaded();

    std::function<void()> OnHotKey;

    // The window that owns the registration and receives WM_HOTKEY.
    HWND KeyWindowHandle() const { return keyWindow_.Handle(); }

  private:
    // Not a MessageWindow: a message-only window's parent is HWND_MESSAGE, while this one
    // is a child of the desktop window, as the key window has always been.
    class KeyWindow : public Window {
      public:
        explicit KeyWindow(TGlobalHotKey& owner);
        ~KeyWindow() override;

      protected:
        LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

      private:
        TGlobalHotKey& owner_;
    };

    void RegisterKey();
    void UnRegisterKey();
    // The key window's procedure: WM_HOTKEY raises OnHotKey; every message then goes on to
    // the default handling.
    LRESULT NewWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    bool enabled_ = true;
    uint16_t key_ = 0;
    bool registered_ = false;
    KeyWindow keyWindow_;
};

} // namespace lv
