#pragma once
// Child controls, created at pixel positions in their form's client area, and the
// non-visual pieces a form holds (popup menu, image list).
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <map>
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
    friend class TForm; // clears form_ when the form goes first
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

// The modifier keys held with a key, as a key handler gets them.
enum ShiftState : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4 };

// Multi-line edit. Lines are ended by CR LF; AppendLine adds one line and scrolls it into
// view.
class TMemo : public TControl {
  public:
    ~TMemo() override;
    void Create(TForm& form, int id, int left, int top, int width, int height, bool readOnly);
    // Text the user writes: Enter makes a new line (it does not press the form's default
    // button; Esc still presses the cancel button), long lines wrap, both scroll bars.
    void CreateEditor(TForm& form, int id, int left, int top, int width, int height);

    void AppendLine(std::string_view gbk);
    void Clear();
    std::vector<std::string> Lines() const;
    int LineCount() const;
    std::string Line(int index) const;

    // Editors only: sees each key pressed in the memo first, with the ShiftState bits held;
    // true uses the key up (the memo neither acts on it nor types it).
    std::function<bool(WORD key, unsigned shift)> OnKeyDown;

  private:
    static LRESULT CALLBACK EditorProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR self);
    bool subclassed_ = false;
    bool swallowChar_ = false;
};

// How a control's edge is drawn: Lowered is the deep edge of an edit box (a panel's
// lowered bevel), Soft a one-pixel sunken line.
enum class Bevel { None, Lowered, Soft };

// Static text. "&" shows as typed: labels show names and paths, not accelerators.
class TLabel : public TControl {
  public:
    void Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                int height);
};

// One-line edit. Lengths are in characters as the user types them (UTF-16 units), which is
// what the edit control itself counts.
class TEdit : public TControl {
  public:
    void Create(TForm& form, int id, std::string_view text, int left, int top, int width,
                int height, Bevel bevel = Bevel::Lowered);
    // 0 lifts the limit. Text set by the program is not cut, only typing is refused.
    void SetMaxLength(int characters);
    int MaxLength() const;
    void SetReadOnly(bool readOnly);
    bool ReadOnly() const;

    void Notify(int code) override;

    std::function<void()> OnChange;
};

// Check box that toggles itself when clicked.
class TCheckBox : public TControl {
  public:
    void Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                int height);
    bool Checked() const;
    // Does not run OnClick: loading settings into a form is not a user's click.
    void SetChecked(bool checked);
    // What a click does after the box has toggled: the OnClick handler.
    void Click();
    void Notify(int code) override;

    std::function<void()> OnClick;
};

// Hot-key edit (msctls_hotkey32). The value is the 16-bit shortcut code of the settings
// file: low byte the virtual key, high byte the HOTKEYF_* flags, exactly as the control
// reports it.
class THotKey : public TControl {
  public:
    void Create(TForm& form, int id, int left, int top, int width, int height);
    uint16_t Value() const;
    void SetValue(uint16_t code);
    // Modifier combinations (HKCOMB_*) the user may not enter, and the HOTKEYF_* flags the
    // control puts in their place.
    void SetRules(WORD invalidCombinations, WORD replacementModifiers);
};

// A bitmap or an icon in a static control. The control owns the handle it is given and
// frees it when it is replaced or the control goes.
class TImage : public TControl {
  public:
    ~TImage() override;
    void Create(TForm& form, int id, int left, int top, int width, int height);
    void SetBitmap(HBITMAP bitmap);
    void SetIcon(HICON icon);
    HBITMAP Bitmap() const { return bitmap_; }
    HICON Icon() const { return icon_; }

  private:
    void SetImage(UINT type, DWORD style, HANDLE image);
    void Release();

    HBITMAP bitmap_ = nullptr;
    HICON icon_ = nullptr;
};

// A bevelled area with an optional caption, centred.
class TPanel : public TControl {
  public:
    void Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                int height, Bevel bevel = Bevel::Lowered);
};

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
