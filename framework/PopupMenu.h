#pragma once
// The popup menu and the handlers of its items.
#include "framework/Control.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

class TPopupMenu {
  public:
    TPopupMenu() = default;
    TPopupMenu(const TPopupMenu&) = delete;
    TPopupMenu& operator=(const TPopupMenu&) = delete;
    ~TPopupMenu();

    // The menu's owner is a form or any other window of this thread (the tray icon's hidden
    // window). A WM_COMMAND carrying an enabled item's ID that reaches the owner runs the
    // item, as choosing it does: outside drivers pick menu items that way.
    void Create(TForm& owner);
    void Create(HWND owner);
    void Add(int id, std::string_view caption, std::function<void()> onClick);
    void AddDisabled(int id, std::string_view caption);
    void AddSeparator();
    void SetItemEnabled(int id, bool enabled);
    bool ItemEnabled(int id) const;
    // Opens the menu at a screen point and runs the chosen item's handler.
    void Popup(int x, int y);
    // Runs an item's handler as choosing it does; false when there is no such enabled item.
    bool Click(int id);

    struct Item {
        int id;
        std::string caption; // empty for a separator
        bool separator;
        bool enabled;
    };
    std::vector<Item> Items() const;
    HMENU Handle() const { return menu_; }

  private:
    static LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR self);

    HWND owner_ = nullptr;
    HMENU menu_ = nullptr;
    std::map<int, std::function<void()>> handlers_;
};

} // namespace lv
