#pragma once
// The received-message window: the messages the capture has taken, one at a time, oldest
// first. "下一个>>" steps to the next waiting message, closing dismisses the one shown; when
// the last waiting message is on screen the tray icon stops blinking.
#include "capture/ReceiveQueue.h"
#include "framework/Controls.h"
#include "framework/Form.h"
#include "hub/MainHub.h"

#include <string>

namespace lv {

// Control IDs of the received-message window; tools that drive it from outside rely on them.
enum ReceiveWindowId : int {
    kReceiveGroupSender = 500,
    kEdtSender = 501,
    kReceiveGroupMessage = 502,
    kMmContent = 503,
    kReceiveBtClose = 504,
    kBtNext = 505,
};

class TfrmReceive : public TForm {
  public:
    explicit TfrmReceive(MainHub& hub);

    // The capture, on the main thread: queues a message without showing it. False when 500
    // messages already wait unread and this one could not be queued.
    bool EnqueueMessage(std::string body, std::string sender);
    const ReceiveQueue& Queue() const { return queue_; }

    void btNextClick();
    void btCloseClick();

    TGroupBox GB1;
    TEdit edtSender;
    TGroupBox GB2;
    TMemo mmContent;
    TButton btClose, btNext;

  protected:
    void FormShow() override;
    void FormClose(CloseAction& action) override;

  private:
    void CreateControls();
    // The message at the queue's current index in the two fields, and the end of the
    // blinking when it is the last one waiting.
    void ShowCurrent();

    MainHub& hub_;
    ReceiveQueue queue_;
};

} // namespace lv
