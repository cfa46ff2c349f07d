#include "capture/Receive.h"

#include "framework/Application.h"
#include "framework/Palette.h"

namespace lv {

TfrmReceive::TfrmReceive(MainHub& hub) : hub_(hub) {
    FormLayout layout;
    layout.caption = "收到信息";
    layout.clientWidth = 345;
    layout.clientHeight = 318;
    layout.position = POINT{305, 173};
    layout.fades = true;
    CreateForm(layout);
    // The main window's own icons, which it keeps for the whole run.
    for (WPARAM size : {ICON_BIG, ICON_SMALL})
        SendMessageW(Handle(), WM_SETICON, size,
                     SendMessageW(hub_.MainWindow(), WM_GETICON, size, 0));
    CreateControls();
}

void TfrmReceive::CreateControls() {
    GB1.Create(*this, kReceiveGroupSender, "发送者", 8, 8, 329, 49);
    edtSender.Create(*this, kEdtSender, "", 16, 24, 313, 21);
    edtSender.SetReadOnly(true);
    edtSender.SetColor(kSkyBlue);
    GB2.Create(*this, kReceiveGroupMessage, "信息", 8, 64, 329, 217);
    mmContent.Create(*this, kMmContent, 16, 80, 313, 193, true);
    mmContent.SetColor(kSkyBlue);
    btClose.Create(*this, kReceiveBtClose, "关闭(&C)", 184, 288, 75, 25);
    btNext.Create(*this, kBtNext, "下一个>>", 264, 288, 75, 25);
    btNext.SetEnabled(false);

    SetDefaultButton(&btClose);
    SetCancelButton(&btClose);
    btClose.OnClick = [this] { btCloseClick(); };
    btNext.OnClick = [this] { btNextClick(); };
    FocusControl(btClose);
}

bool TfrmReceive::EnqueueMessage(std::string body, std::string sender) {
    if (!queue_.Enqueue(std::move(body), std::move(sender)))
        return false;
    if (queue_.Waiting() > 1 && !btNext.Enabled())
        btNext.SetEnabled(true);
    return true;
}

void TfrmReceive::ShowCurrent() {
    edtSender.SetText(queue_.CurrentSender());
    mmContent.SetText(queue_.CurrentBody());
    if (queue_.Waiting() <= 1) {
        // The focus leaves the button before it is disabled: a disabled focus takes no keys.
        if (GetFocus() == btNext.Handle())
            FocusControl(btClose);
        btNext.SetEnabled(false);
        hub_.SetFlashing(false);
        hub_.SetTrayIconIndex(0);
    }
}

void TfrmReceive::FormShow() {
    ShowCurrent();
}

void TfrmReceive::btNextClick() {
    if (!queue_.Next())
        return;
    ShowCurrent();
}

void TfrmReceive::btCloseClick() {
    Close();
}

void TfrmReceive::FormClose(CloseAction& action) {
    (void)action;
    queue_.Dismiss();
}

} // namespace lv
