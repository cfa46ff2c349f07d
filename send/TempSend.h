#pragma once
// The ad-hoc send prompt: asks for the address of a recipient who is not in the friend
// list, then opens the send window for it under the name "（临时发送）". No test of what is
// typed: the Messenger service decides.
#include "framework/Controls.h"
#include "framework/Form.h"
#include "send/Send.h"

namespace lv {

// Control IDs of the prompt; tools that drive it from outside rely on them.
enum TempSendWindowId : int {
    kTempSendGroup = 720,
    kEdtTempSendIP = 721,
    kTempSendBtOK = 722,
};

inline constexpr char kTempSendCaption[] = "请输入";

class TfrmTempSend : public TForm {
  public:
    explicit TfrmTempSend(TfrmSend& sendWindow);

    // The main window's ad-hoc command: an empty field, shown modally; returns when the
    // prompt has closed: true when OK left the send window up (opened for the address, or
    // kept as it was when it was open already).
    bool Open();

    // Handlers, as a user's action runs them.
    void btOKClick();

    TGroupBox GroupBox1;
    TEdit edtIP;
    TButton btOK;

  protected:
    void FormShow() override;

  private:
    TfrmSend& send_;
    bool opened_ = false;
};

} // namespace lv
