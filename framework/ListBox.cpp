#include "framework/ListBox.h"

#include "framework/Application.h"
#include "framework/Gbk.h"

namespace lv {

TListBox::~TListBox() {
    if (Handle() && IsWindow(Handle()))
        RemoveWindowSubclass(Handle(), SubclassProc, 0);
}

void TListBox::Create(TForm& form, int id, int left, int top, int width, int height,
                      int itemHeight) {
    CreateControl(form, id, WC_LISTBOXW, "",
                  LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                  left, top, width, height);
    SendMessageW(Handle(), LB_SETITEMHEIGHT, 0, itemHeight);
    // Mouse-button releases go to the list box itself, not to the form.
    SetWindowSubclass(Handle(), SubclassProc, 0, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK TListBox::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR self) {
    LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
    auto* list = reinterpret_cast<TListBox*>(self);
    std::optional<MouseButton> button;
    if (message == WM_LBUTTONUP)
        button = MouseButton::Left;
    else if (message == WM_RBUTTONUP)
        button = MouseButton::Right;
    else if (message == WM_MBUTTONUP)
        button = MouseButton::Middle;
    if (button && list->OnMouseUp) {
        try {
            list->OnMouseUp(*button);
        } catch (...) {
            // Nothing may unwind through the system's frames: the same error box as the
            // form's own dispatch.
            App().HandleException(std::current_exception());
        }
    }
    return result;
}

int TListBox::Count() const {
    return static_cast<int>(SendMessageW(Handle(), LB_GETCOUNT, 0, 0));
}

std::string TListBox::Item(int index) const {
    LRESULT n = SendMessageW(Handle(), LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n == LB_ERR)
        return {};
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = SendMessageW(Handle(), LB_GETTEXT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(n == LB_ERR ? 0 : static_cast<size_t>(n));
    return ToGbk(text);
}

std::vector<std::string> TListBox::Items() const {
    std::vector<std::string> items;
    for (int i = 0, n = Count(); i < n; ++i)
        items.push_back(Item(i));
    return items;
}

void TListBox::Add(std::string_view gbk) {
    SendMessageW(Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(gbk).c_str()));
}

void TListBox::Insert(int index, std::string_view gbk) {
    SendMessageW(Handle(), LB_INSERTSTRING, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(ToWide(gbk).c_str()));
}

void TListBox::SetItem(int index, std::string_view gbk) {
    bool selected = ItemIndex() == index;
    Delete(index);
    Insert(index, gbk);
    if (selected)
        SetItemIndex(index);
}

void TListBox::Delete(int index) {
    SendMessageW(Handle(), LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void TListBox::SetItems(const std::vector<std::string>& items) {
    const std::vector<std::string> old = Items();
    size_t head = 0;
    while (head < old.size() && head < items.size() && old[head] == items[head])
        ++head;
    size_t tail = 0;
    while (tail < old.size() - head && tail < items.size() - head &&
           old[old.size() - 1 - tail] == items[items.size() - 1 - tail])
        ++tail;
    for (size_t i = old.size() - tail; i > head; --i)
        Delete(static_cast<int>(i - 1));
    for (size_t i = head; i < items.size() - tail; ++i)
        Insert(static_cast<int>(i), items[i]);
}

void TListBox::Clear() {
    SendMessageW(Handle(), LB_RESETCONTENT, 0, 0);
}

int TListBox::ItemIndex() const {
    LRESULT i = SendMessageW(Handle(), LB_GETCURSEL, 0, 0);
    return i == LB_ERR ? -1 : static_cast<int>(i);
}

void TListBox::SetItemIndex(int index) {
    SendMessageW(Handle(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int TListBox::ItemHeight() const {
    return static_cast<int>(SendMessageW(Handle(), LB_GETITEMHEIGHT, 0, 0));
}

void TListBox::Notify(int code) {
    if (code == LBN_DBLCLK && OnDblClick)
        OnDblClick();
}

} // namespace lv
