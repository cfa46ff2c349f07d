#include "framework/PopupMenu.h"

#include "framework/Application.h"
#include "framework/Form.h"
#include "framework/Gbk.h"

namespace lv {

TPopupMenu::~TPopupMenu() {
    if (owner_ && IsWindow(owner_))
        RemoveWindowSubclass(owner_, OwnerProc, reinterpret_cast<UINT_PTR>(this));
    if (menu_)
        DestroyMenu(menu_);
}

void TPopupMenu::Create(TForm& owner) {
    Create(owner.Handle());
}

void TPopupMenu::Create(HWND owner) {
    owner_ = owner;
    menu_ = CreatePopupMenu();
    // Commands for the items reach the owner's window procedure; the menu looks at them
    // first, so the owner needs no table of its own.
    SetWindowSubclass(owner_, OwnerProc, reinterpret_cast<UINT_PTR>(this),
                      reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK TPopupMenu::OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR self) {
    auto* menu = reinterpret_cast<TPopupMenu*>(self);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, OwnerProc, id);
        menu->owner_ = nullptr;
    } else if (message == WM_COMMAND && lParam == 0 && HIWORD(wParam) == 0 &&
               menu->handlers_.count(LOWORD(wParam))) {
        try {
            menu->Click(LOWORD(wParam));
        } catch (...) {
            // Nothing may unwind through the system's frames.
            App().HandleException(std::current_exception());
        }
        return 0;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void TPopupMenu::Add(int id, std::string_view caption, std::function<void()> onClick) {
    AppendMenuW(menu_, MF_STRING, static_cast<UINT_PTR>(id), ToWide(caption).c_str());
    handlers_[id] = std::move(onClick);
}

void TPopupMenu::AddDisabled(int id, std::string_view caption) {
    AppendMenuW(menu_, MF_STRING | MF_GRAYED, static_cast<UINT_PTR>(id), ToWide(caption).c_str());
}

void TPopupMenu::AddSeparator() {
    AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr);
}

void TPopupMenu::SetItemEnabled(int id, bool enabled) {
    EnableMenuItem(menu_, static_cast<UINT>(id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

bool TPopupMenu::ItemEnabled(int id) const {
    UINT state = GetMenuState(menu_, static_cast<UINT>(id), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

bool TPopupMenu::Click(int id) {
    auto handler = handlers_.find(id);
    // A greyed item cannot be chosen, whichever way its command comes.
    if (handler == handlers_.end() || !ItemEnabled(id))
        return false;
    if (handler->second)
        handler->second();
    return true;
}

void TPopupMenu::Popup(int x, int y) {
    // A menu opened for a window that is not in the foreground would not close when the
    // user clicks elsewhere; the WM_NULL afterwards lets it close on the first click.
    SetForegroundWindow(owner_);
    int chosen = static_cast<int>(TrackPopupMenu(
        menu_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, x, y, 0, owner_,
        nullptr));
    PostMessageW(owner_, WM_NULL, 0, 0);
    if (chosen != 0)
        Click(chosen);
}

std::vector<TPopupMenu::Item> TPopupMenu::Items() const {
    std::vector<Item> items;
    int n = GetMenuItemCount(menu_);
    for (int i = 0; i < n; ++i) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        GetMenuItemInfoW(menu_, static_cast<UINT>(i), TRUE, &info);
        std::wstring text(info.cch + 1, L'\0');
        info.dwTypeData = text.data();
        info.cch = static_cast<UINT>(text.size());
        GetMenuItemInfoW(menu_, static_cast<UINT>(i), TRUE, &info);
        text.resize(wcslen(text.c_str()));
        bool separator = (info.fType & MFT_SEPARATOR) != 0;
        items.push_back(Item{static_cast<int>(info.wID), separator ? "" : ToGbk(text), separator,
                             (info.fState & MFS_DISABLED) == 0});
    }
    return items;
}

} // namespace lv
