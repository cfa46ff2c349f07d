#include "framework/StaticControls.h"


namespace lv {

void TLabel::Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                    int height) {
    CreateControl(form, id, WC_STATICW, caption, SS_LEFT | SS_NOPREFIX, 0, left, top, width,
                  height);
}

void TGroupBox::Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                       int height) {
    CreateControl(form, id, WC_BUTTONW, caption, BS_GROUPBOX, 0, left, top, width, height);
}

void TPanel::Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                    int height, Bevel bevel) {
    // SS_SUNKEN draws the lowered bevel and still shows text; SS_CENTERIMAGE centres the
    // caption vertically.
    DWORD style = SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX;
    DWORD exStyle = 0;
    if (bevel == Bevel::Lowered)
        style |= SS_SUNKEN;
    else
        exStyle = BevelExStyle(bevel);
    CreateControl(form, id, WC_STATICW, caption, style, exStyle, left, top, width, height);
}

} // namespace lv
