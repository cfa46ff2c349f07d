#pragma once
// The windows besides the main one, as the main window opens them. Each is created
// once at start-up with its caption, size and place; their controls and behaviour come
// with their own modules.
#include "framework/Form.h"

namespace lv {

class TfrmSend : public TForm {
  public:
    TfrmSend();
};

class TfrmTempSend : public TForm {
  public:
    TfrmTempSend();
};

} // namespace lv
