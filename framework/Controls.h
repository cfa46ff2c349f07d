#pragma once
// Child controls, created at pixel positions in their form's client area, and the
// non-visual pieces a form holds (popup menu, image list).
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lv {

class TForm;

class TControl {
  public:
    TControl() = default;
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;
    virtual ~TControl();

    HWND Handle() const { return hwnd_; }
    int Id() const { return id_; }
    std::string Text() const;
    void SetText(std::string_view gbk);
    bool Visible() const;
    void SetVisible(bool visible);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    // Position and size in the parent's client area.
    RECT Bounds() const;
    void SetFont(HFONT font);
    // Background colour, painted through the parent's WM_CTLCOLOR* answer.
    void SetColor(COLORREF color);
    std::optional<COLORREF> Color() const { return color_; }
    HBRUSH Brush() const { return brush_; }

    // A WM_COMMAND notification from this control.
    virtual void Notify(int code) { (void)code; }

  protected:
    void CreateControl(TForm& form, int id, const wchar_t* windowClass, std::string_view text,
                       DWORD style, DWORD exStyle, int left, int top, int width, int height);

  private:
    TForm* form_ = nullptr;
    HWND hwnd_ = nullptr;
    int id_ = 0;
    std::optional<COLORREF> color_;
    HBRUSH brush_ = nullptr;
};

class TButton : public TControl {
  public:
    void Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                int height);
    // What a click does: the OnClick handler.
    void Click();
    void Notify(int code) override;

    std::function<void()> OnClick;
};

class TGroupBox : public TControl {
  public:
    void Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                int height);
};

enum class MouseButton { Left, Right, Middle };

class TListBox : public TControl {
  public:
    ~TListBox() override;
    // Single selection, fixed item height, unsorted, sends double-clicks.
    void Create(TForm& form, int id, int left, int top, int width, int height, int itemHeight);

    int Count() const;
    std::string Item(int index) const;
    std::vector<std::string> Items() const;
    void Add(std::string_view gbk);
    void SetItem(int index, std::string_view gbk);
    void Delete(int index);
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

// Multi-line edit. Lines are ended by CR LF; AppendLine adds one line and scrolls it into
// view.
class TMemo : public TControl {
  public:
    void Create(TForm& form, int id, int left, int top, int width, int height, bool readOnly);

    void AppendLine(std::string_view gbk);
    void Clear();
    std::vector<std::string> Lines() const;
    int LineCount() const;
    std::string Line(int index) const;
};

class TPopupMenu {
  public:
    TPopupMenu() = default;
    TPopupMenu(const TPopupMenu&) = delete;
    TPopupMenu& operator=(const TPopupMenu&) = delete;
    ~TPopupMenu();

    // Items send their commands to `owner`.
    void Create(TForm& owner);
    void Add(int id, std::string_view caption, std::function<void()> onClick);
    void AddDisabled(int id, std::string_view caption);
    void AddSeparator();
    // Opens the menu at a screen point; the chosen item's command arrives at the owner.
    void Popup(int x, int y);

    struct Item {
        int id;
        std::string caption; // empty for a separator
        bool separator;
        bool enabled;
    };
    std::vector<Item> Items() const;
    HMENU Handle() const { return menu_; }

  private:
    TForm* owner_ = nullptr;
    HMENU menu_ = nullptr;
};

class TImageList {
  public:
    TImageList() = default;
    TImageList(const TImageList&) = delete;
    TImageList& operator=(const TImageList&) = delete;
    ~TImageList();

    void Create(int width, int height);
    // The list keeps a copy; the caller still owns `icon`.
    void Add(HICON icon);
    int Count() const;
    // A new icon the caller owns (DestroyIcon).
    HICON GetIcon(int index) const;
    HIMAGELIST Handle() const { return list_; }

  private:
    HIMAGELIST list_ = nullptr;
};

} // namespace lv
