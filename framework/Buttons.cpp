#include "framework/Buttons.h"


namespace lv {

void TButton::Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                     int height) {
    CreateControl(form, id, WC_BUTTONW, caption, BS_PUSHBUTTON | WS_TABSTOP, 0, left, top, width,
                  height);
}

void TButton::Click() {
    if (OnClick)
        OnClick();
}

void TButton::Notify(int code) {
    if (code == BN_CLICKED)
        Click();
}

void TCheckBox::Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                       int height) {
    CreateControl(form, id, WC_BUTTONW, caption, BS_AUTOCHECKBOX | WS_TABSTOP, 0, left, top, width,
                  height);
}

bool TCheckBox::Checked() const {
    return SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool checked) {
    SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::Click() {
    if (OnClick)
        OnClick();
}

void TCheckBox::Notify(int code) {
    if (code == BN_CLICKED)
        Click();
}

} // namespace lv
