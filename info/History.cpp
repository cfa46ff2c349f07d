#include "info/History.h"

#include "framework/Application.h"
#include "framework/Files.h"
#include "framework/Gbk.h"
#include "framework/MessageBox.h"
#include "framework/Palette.h"
#include "messagelog/DiskLogFile.h"

#include <limits>
#include <new>

namespace lv {
namespace {

std::shared_ptr<MessageLog> MakeLog(const char* fileName) {
    return std::make_shared<MessageLog>(
        std::make_unique<DiskLogFile>(AppDirectory() + ToWide(fileName)));
}

} // namespace

TfrmHistory::TfrmHistory(MainHub& hub)
    : hub_(hub), sendLog_(MakeLog("send.txt")), receiveLog_(MakeLog("receive.txt")) {
    FormLayout layout;
    layout.caption = "Lumivale－查看聊天记录";
    layout.clientWidth = 465;
    layout.clientHeight = 534;
    layout.position = POINT{290, 134};
    layout.minimizeBox = true;
    layout.fades = true;
    CreateForm(layout);
    CreateControls();

    send_.memo = &mmSendHistory;
    send_.log = sendLog_;
    send_.fileName = "send.txt";
    receive_.memo = &mmReceiveHistory;
    receive_.log = receiveLog_;
    receive_.fileName = "receive.txt";
    LoadLog(receive_, "receive.txt");
    LoadLog(send_, "send.txt");
    Follow(receive_);
    Follow(send_);
}

TfrmHistory::~TfrmHistory() {
    // The logs may outlive the viewer (a worker holds one): they must not call into it.
    for (const auto& log : {sendLog_, receiveLog_}) {
        log->SetListener(nullptr);
        log->SetFileListener(nullptr);
    }
}

void TfrmHistory::CreateControls() {
    // The areas are the viewer's own children placed at their group's offset, like every
    // control "in" a group box here.
    GroupBox1.Create(*this, kHistoryGroupSend, "发送记录", 8, 8, 449, 241);
    mmSendHistory.Create(*this, kMmSendHistory, 16, 24, 433, 217, true);
    GroupBox2.Create(*this, kHistoryGroupReceive, "接收记录", 8, 256, 449, 240);
    mmReceiveHistory.Create(*this, kMmReceiveHistory, 16, 272, 433, 217, true);
    btClose.Create(*this, kHistoryBtClose, "关闭", 376, 504, 75, 25);
    btClearReceive.Create(*this, kBtClearReceive, "清除接收", 296, 504, 75, 25);
    btClearSend.Create(*this, kBtClearSend, "清除发送", 216, 504, 75, 25);
    mmSendHistory.SetColor(kSkyBlue);
    mmReceiveHistory.SetColor(kSkyBlue);

    SetDefaultButton(&btClose);
    SetCancelButton(&btClose);
    btClose.OnClick = [this] { btCloseClick(); };
    btClearSend.OnClick = [this] { btClearSendClick(); };
    btClearReceive.OnClick = [this] { btClearReceiveClick(); };
}

void TfrmHistory::LoadLog(View& view, const char* fileName) {
    // Whole, whatever its size: a log is only ever held when it cannot be read.
    FileRead read;
    try {
        read = ReadFileBounded(AppDirectory() + ToWide(fileName),
                               std::numeric_limits<size_t>::max() - 1);
    } catch (const std::bad_alloc&) {
        read = FileRead{ReadStatus::Unreadable, {}};
    }
    switch (read.status) {
    case ReadStatus::Ok:
        view.log->Load(std::move(read.bytes));
        break;
    case ReadStatus::Missing:
        break;
    case ReadStatus::Unreadable:
    case ReadStatus::TooLarge:
        // Written from an empty log, the file would lose everything it holds.
        view.log->Hold();
        break;
    }
    // Records a crash kept out of the file are put back in front, before any new one.
    view.log->Recover();
    if (view.log->Held())
        hub_.AddStatusLine(std::string("无法读取") + fileName + "，本次运行中不会写入该文件。");
}

void TfrmHistory::Follow(View& view) {
    // A change may come from a send worker: the text area is changed on the main thread,
    // in the order the changes were made.
    view.log->SetListener([this, &view](const MessageLog::Change& change) {
        App().Post([this, &view, change] { Apply(view, change); });
    });
    // The records are safe in the journal meanwhile; the user learns that the file lags.
    view.log->SetFileListener([this, name = std::string(view.fileName)](bool written) {
        App().Post([this, name, written] {
            hub_.AddStatusLine(written ? name + "又可以写入了，记录已经保存。"
                                       : "无法写入" + name + "，新记录暂存在" + name +
                                             ".journal中，稍后自动再试。");
        });
    });
}

void TfrmHistory::Apply(View& view, const MessageLog::Change& change) {
    if (change.version <= view.shownVersion)
        return; // already in the text the area took at its last refresh
    if (view.stale || !Visible()) {
        view.stale = true;
        return;
    }
    if (change.version != view.shownVersion + 1) {
        // Two workers' records were told out of order: the area takes the log as it is.
        view.stale = true;
        Refresh(view);
        return;
    }
    view.shownVersion = change.version;
    HWND area = view.memo->Handle();
    if (change.cleared) {
        view.memo->Clear();
        return;
    }
    // In front of the text, without reading the text back: the area keeps what it has.
    std::wstring record = ToWide(change.record);
    SendMessageW(area, EM_SETSEL, 0, 0);
    SendMessageW(area, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(record.c_str()));
    SendMessageW(area, EM_SETSEL, 0, 0);
    SendMessageW(area, EM_SCROLLCARET, 0, 0);
}

void TfrmHistory::Refresh(View& view) {
    if (!view.stale)
        return;
    // Only the excerpt is copied, so a log of hundreds of megabytes shows as fast as a short one.
    MessageLog::Snapshot snapshot = view.log->Excerpt(kMaxShownLogBytes, view.fileName);
    view.memo->SetText(snapshot.text);
    view.shownVersion = snapshot.version;
    view.stale = false;
}

void TfrmHistory::FormShow() {
    Refresh(send_);
    Refresh(receive_);
}

void TfrmHistory::btCloseClick() {
    Close();
}

void TfrmHistory::ClearLog(View& view) {
    if (ShowMessageBox(App().Handle(), "真的清除记录吗（这将会删除文件）？", "小心", MB_YESNO) !=
        IDYES)
        return;
    view.log->Clear();
}

void TfrmHistory::btClearSendClick() {
    ClearLog(send_);
}

void TfrmHistory::btClearReceiveClick() {
    ClearLog(receive_);
}

} // namespace lv
