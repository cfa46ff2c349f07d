#pragma once
// Controls that show and take no input: labels, group-box frames, panels.
#include "framework/Control.h"

#include <string>
#include <string_view>

namespace lv {

// Static text. "&" shows as typed: labels show names and paths, not accelerators.
class TLabel : public TControl {
  public:
    void Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                int height);
};

class TGroupBox : public TControl {
  public:
    void Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                int height);
};

// A bevelled area with an optional caption, centred.
class TPanel : public TControl {
  public:
    void Create(TForm& form, int id, std::string_view caption, int left, int top, int width,
                int height, Bevel bevel = Bevel::Lowered);
};

} // namespace lv
