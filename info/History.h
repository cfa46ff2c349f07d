#pragma once
// The history viewer: the send log above, the receive log below, each clearable (which also
// deletes its file). It owns the two logs for the run; the send workers and the capture put
// their records in front of them through SendLog() and ReceiveLog().
#include "framework/Controls.h"
#include "framework/Form.h"
#include "hub/MainHub.h"
#include "messagelog/MessageLog.h"

#include <memory>
#include <string>

namespace lv {

// Control IDs of the history viewer; tools that drive it from outside rely on them.
enum HistoryWindowId : int {
    kHistoryGroupSend = 400,
    kMmSendHistory = 401,
    kHistoryGroupReceive = 402,
    kMmReceiveHistory = 403,
    kBtClearSend = 404,
    kBtClearReceive = 405,
    kHistoryBtClose = 406,
};

// A text area shows at most this much of its log. Putting megabytes into an edit control
// takes seconds (under Wine about two microseconds a character, with its word wrap), all
// of them on the main thread, while the program answers nothing and takes no pop-up.
inline constexpr size_t kMaxShownLogBytes = 256u << 10;

class TfrmHistory : public TForm {
  public:
    // Creates the viewer hidden and loads receive.txt, then send.txt, from the program's
    // folder; a log that cannot be read is reported once through `hub`.
    explicit TfrmHistory(MainHub& hub);
    ~TfrmHistory() override;

    // Kept alive by whoever holds them: a send worker still running at the end of the
    // program writes its record into a log that outlives this window.
    const std::shared_ptr<MessageLog>& SendLog() const { return sendLog_; }
    const std::shared_ptr<MessageLog>& ReceiveLog() const { return receiveLog_; }

    void btCloseClick();
    void btClearSendClick();
    void btClearReceiveClick();

    TGroupBox GroupBox1;
    TMemo mmSendHistory;
    TGroupBox GroupBox2;
    TMemo mmReceiveHistory;
    TButton btClearSend, btClearReceive, btClose;

  protected:
    void FormShow() override;

  private:
    // What one text area shows of its log. The area follows the log while the viewer is
    // visible; while it is hidden, changes only mark it stale and the next showing takes
    // the whole text at once, so a record costs a hidden viewer nothing.
    struct View {
        TMemo* memo = nullptr;
        std::shared_ptr<MessageLog> log;
        const char* fileName = "";
        uint64_t shownVersion = 0;
        bool stale = true;
    };
    void CreateControls();
    void LoadLog(View& view, const char* fileName);
    void Follow(View& view);
    void Apply(View& view, const MessageLog::Change& change);
    void Refresh(View& view);
    void ClearLog(View& view);

    MainHub& hub_;
    std::shared_ptr<MessageLog> sendLog_;
    std::shared_ptr<MessageLog> receiveLog_;
    View send_;
    View receive_;
};

} // namespace lv
