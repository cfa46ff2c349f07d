#pragma once
// Every child control's base: a window created at pixel positions in its form's client
// area, with its text, state and background colour; and the small types the controls share.
#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>
#include <string_view>

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

enum class MouseButton { Left, Right, Middle };

// The modifier keys held with a key, as a key handler gets them.
enum ShiftState : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4 };

// How a control's edge is drawn: Lowered is the deep edge of an edit box (a panel's
// lowered bevel), Soft a one-pixel sunken line.
enum class Bevel { None, Lowered, Soft };
// The extended window style that draws `bevel`.
DWORD BevelExStyle(Bevel bevel);

} // namespace lv
