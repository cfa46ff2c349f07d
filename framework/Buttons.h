#pragma once
// Controls the user clicks: push buttons and check boxes.
#include "framework/Control.h"

#include <functional>
#include <string>
#include <string_view>

namespace lv {

class TButton : public TControl {
  public:
    void Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                int height);
    // What a click does: the OnClick handler.
    void Click();
    void Notify(int code) override;

    std::function<void()> OnClick;
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

} // namespace lv
