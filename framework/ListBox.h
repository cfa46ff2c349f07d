#pragma once
// The list box: lines of text, one selectable.
#include "framework/Control.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

class TListBox : public TControl {
  public:
    ~TListBox() override;
    // Single selection, fixed item height, unsorted, sends double-clicks.
    void Create(TForm& form, int id, int left, int top, int width, int height, int itemHeight);

    int Count() const;
    std::string Item(int index) const;
    std::vector<std::string> Items() const;
    void Add(std::string_view gbk);
    void Insert(int index, std::string_view gbk);
    void SetItem(int index, std::string_view gbk);
    void Delete(int index);
    // The lines become `items`, changing only the run that differs (deleted and inserted in
    // place), so that one line added, replaced or removed leaves the others where the user
    // scrolled them: a refill would jump back to the top.
    void SetItems(const std::vector<std::string>& items);
    void Clear();
    // -1 when no line is selected.
    int ItemIndex() const;
    void SetItemIndex(int index);
    int ItemHeight() const;

    void Notify(int code) override;

    std::function<void()> OnDblClick;
    std::function<void(MouseButton)> OnMouseUp;

  private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
};

} // namespace lv
