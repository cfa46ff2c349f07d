#pragma once
// The send window: who the message goes to, the text, Send and Cancel. Opened modally for
// the friend selected in the main window, modelessly for an address typed in the ad-hoc
// prompt. Send starts a worker (send/SendThread.h) with what the window holds and closes
// the window; the worker does the rest.
#include "framework/Controls.h"
#include "framework/Form.h"
#include "hub/MainHub.h"
#include "messagelog/MessageLog.h"
#include "send/SendThread.h"

#include <memory>
#include <string>

namespace lv {

// Control IDs of the send window; tools that drive it from outside rely on them.
enum SendWindowId : int {
    kSendGroupTo = 700,
    kSendLabelFriend = 701,
    kSendLbName = 702,
    kSendLabelAddress = 703,
    kSendLbIP = 704,
    kSendGroupContent = 705,
    kSendMmContent = 706,
    kSendLabelHint = 707,
    kSendBtSend = 708,
    kSendBtCancel = 709,
};

inline constexpr char kSendCaption[] = "发送信息";
// The name an ad-hoc send goes under (full-width parentheses).
inline constexpr char kAdHocName[] = "（临时发送）";

class TfrmSend : public TForm {
  public:
    explicit TfrmSend(MainHub& hub);
    // The log the workers put their records in front of (the history viewer's); set before
    // the first send.
    void SetSendLog(std::shared_ptr<MessageLog> sendLog) { context_.log = std::move(sendLog); }

    // The main window's send command for friend `index`: name and address from the friend
    // table, an empty text, shown modally; returns when the window has closed (true). With
    // no such friend nothing happens (false). While the window is open modelessly for an
    // ad-hoc address it only comes forward, keeping what it holds (false).
    bool OpenForFriend(int index);
    // The ad-hoc prompt's OK: this address under "（临时发送）", an empty text, shown
    // modelessly (true). While the window is already open it only comes forward, keeping
    // its address and what the user has written (false), as a friend send does.
    bool OpenForAddress(std::string_view address);
    // The window to the front with the keyboard in the text (it is already shown).
    void BringForward();

    // Handlers, as a user's action runs them.
    void btSendClick();
    void btCancelClick();
    // A key pressed in the text; true when it was used up (Ctrl+Enter sends).
    bool mmContentKeyDown(WORD key, unsigned shift);

    // Tests: what the workers use instead of the program's defaults (the service call, the
    // clock, the status area).
    SendContext& WorkerContext() { return context_; }

    TGroupBox GroupBox1;
    TLabel Label1, lbName, l, lbIP;
    TGroupBox GroupBox2;
    TMemo mmContent;
    TLabel Label2;
    TButton btSend, btCancel;

  protected:
    void FormShow() override;

  private:
    void CreateControls();

    MainHub& hub_;
    SendContext context_;
};

} // namespace lv
