#pragma once
// A top-level window of the program: created hidden, lives until the end, closing it
// hides it. Fixed single border with the close box, optionally a minimise box; client
// size and position in pixels; its own font; stays on top when asked.
//
// A new window is a class derived from TForm that holds its controls as members, calls
// CreateForm and creates its controls in its constructor, and overrides the handlers it
// needs (FormShow, FormHide, FormClose). It needs no destructor: ~TForm unbinds the object
// from its window before destroying it, and the controls leave their windows to it, so no
// message reaches a form whose members are gone.
#include "framework/Window.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lv {

class TControl;
class TButton;

enum class CloseAction { None, Hide, Quit };

struct FormLayout {
    std::string caption; // GBK
    int clientWidth = 0;
    int clientHeight = 0;
    // Outer left and top edge; none centres the window on the screen.
    std::optional<POINT> position;
    bool topmost = true;
    bool minimizeBox = false;
    // Fades in and out when shown and hidden, while the application's window-effects
    // setting is on.
    bool fades = false;
    std::string fontName = "宋体";
    int fontHeight = 13;
    BYTE charset = GB2312_CHARSET;
};

// A font for the life of the process, shared by everything that asks for the same one.
HFONT GetFont(const std::string& gbkName, int pixelHeight, BYTE charset);

// Tests: sees every fade (the window and the AnimateWindow flags) before it runs.
void SetFadeObserver(std::function<void(HWND, DWORD)> observer);

class TForm : public Window {
  public:
    TForm() = default;
    ~TForm() override;

    static void RegisterFormClass();
    static bool IsForm(HWND hwnd);

    // A form already visible is only brought forward (restored when minimised): FormShow
    // does not run again.
    void Show();
    // Shows a hidden form on top without taking the keyboard from the window the user is
    // typing in, and without a fade. A visible form stays as it is.
    void ShowWithoutActivating();
    void Hide();
    // Asks the form to close, as its close box does: FormClose decides what happens.
    void Close();
    // Shows the form with every other visible form disabled and runs messages until it
    // closes; returns the modal result. Forms shown while it runs stay usable, as on
    // Windows. Called again while the form is already up modally, it only brings it to the
    // front and returns 0 at once: no second loop nests inside the first.
    int ShowModal();
    bool Modal() const { return modal_; }
    bool Visible() const;
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }

    std::string Caption() const;
    void SetCaption(std::string_view gbk);
    // Outer window edges in screen pixels.
    RECT Bounds() const;
    int Left() const { return Bounds().left; }
    int Top() const { return Bounds().top; }
    int Width() const;
    int Height() const;
    void SetPosition(int left, int top);
    HFONT Font() const { return font_; }

    // Enter presses the default button, Esc the cancel button.
    void SetDefaultButton(TButton* button) { defaultButton_ = button; }
    void SetCancelButton(TButton* button) { cancelButton_ = button; }
    // A tooltip over the control.
    void SetHint(const TControl& control, std::string_view gbk);
    std::string HintOf(const TControl& control) const;
    // The control that has the keyboard when the form is (next) active. The focus a
    // FormShow handler sets is kept the same way, so it survives the showing.
    void FocusControl(const TControl& control);

    // Creation and layout, for the controls.
    void AddControl(TControl* control);
    void RemoveControl(TControl* control);

  protected:
    void CreateForm(const FormLayout& layout);
    // AnimateWindow with `flags` when this form fades and the setting is on; after a fade
    // in, the controls are hidden and shown again so that they paint themselves.
    void Fade(DWORD flags);

    virtual void FormShow() {}
    virtual void FormHide() {}
    // `action` arrives as Hide; None refuses the close, Quit ends the program.
    virtual void FormClose(CloseAction& action) { (void)action; }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int code, HWND control) override;

  private:
    TControl* ControlOf(HWND hwnd) const;
    TControl* ControlWithId(int id) const;
    void ClickButton(TButton* button);

    HFONT font_ = nullptr;
    HWND tooltip_ = nullptr;
    TButton* defaultButton_ = nullptr;
    TButton* cancelButton_ = nullptr;
    bool modal_ = false;
    bool fades_ = false;
    int modalResult_ = 0;
    HWND focus_ = nullptr;
    std::map<HWND, TControl*> controls_;
};

} // namespace lv
