#include "send/Send.h"

#include "framework/Application.h"
#include "framework/Palette.h"

namespace lv {

TfrmSend::TfrmSend(MainHub& hub) : hub_(hub) {
    FormLayout layout;
    layout.caption = kSendCaption;
    layout.clientWidth = 377;
    layout.clientHeight = 364;
    layout.position = POINT{276, 188};
    layout.fades = true;
    CreateForm(layout);
    CreateControls();
    context_.statusLine = PostedStatusLines(hub_);
}

void TfrmSend::CreateControls() {
    // Controls "in" a group box are the window's own children at the group's offset, so
    // that their notifications reach the window. Creation order is the tab order.
    GroupBox1.Create(*this, kSendGroupTo, "发送至", 8, 8, 361, 65);
    Label1.Create(*this, kSendLabelFriend, "好友：", 16, 32, 40, 13);
    lbName.Create(*this, kSendLbName, "", 56, 32, 305, 13);
    l.Create(*this, kSendLabelAddress, "地址：", 16, 48, 40, 13);
    lbIP.Create(*this, kSendLbIP, "", 56, 48, 305, 13);
    GroupBox2.Create(*this, kSendGroupContent, "内容", 8, 80, 361, 241);
    mmContent.CreateEditor(*this, kSendMmContent, 16, 96, 345, 217);
    mmContent.SetColor(kMoneyGreen);
    Label2.Create(*this, kSendLabelHint, "按Ctrl+回车发送", 47, 336, 96, 13);
    btSend.Create(*this, kSendBtSend, "发送", 208, 328, 75, 25);
    btCancel.Create(*this, kSendBtCancel, "取消", 288, 328, 75, 25);

    SetCancelButton(&btCancel);
    btSend.OnClick = [this] { btSendClick(); };
    btCancel.OnClick = [this] { btCancelClick(); };
    mmContent.OnKeyDown = [this](WORD key, unsigned shift) { return mmContentKeyDown(key, shift); };
}

bool TfrmSend::OpenForFriend(int index) {
    if (Visible()) {
        // Open modelessly for an ad-hoc address (or already up modally): the window and
        // what the user has written in it stay as they are.
        BringForward();
        return false;
    }
    const FriendList& friends = hub_.Friends();
    // Only a line of the friend table fills the window.
    if (index < 0 || index >= friends.Count())
        return false;
    lbName.SetText(friends.At(index).name);
    lbIP.SetText(friends.At(index).address);
    mmContent.Clear();
    ShowModal();
    return true;
}

bool TfrmSend::OpenForAddress(std::string_view address) {
    if (Visible()) {
        // A second ad-hoc OK while a message is half written: the message stays whole, with
        // the address it was being written for.
        BringForward();
        return false;
    }
    lbIP.SetText(address);
    lbName.SetText(kAdHocName);
    mmContent.Clear();
    Show();
    return true;
}

void TfrmSend::BringForward() {
    if (!Visible())
        return;
    if (Modal()) {
        ShowModal(); // only brings it to the front
        return;
    }
    Show();
    FocusControl(mmContent);
}

void TfrmSend::btSendClick() {
    // Everything the worker needs, read here on the main thread: it never reads a window.
    SendJob job;
    job.name = lbName.Text();
    job.address = lbIP.Text();
    job.text = mmContent.Text();
    job.senderName = hub_.Friends().SenderName();
    new TSendThread(std::move(job), context_);
    Close();
}

void TfrmSend::btCancelClick() {
    Close();
}

bool TfrmSend::mmContentKeyDown(WORD key, unsigned shift) {
    // Only the Ctrl bit counts: Ctrl+Shift+Enter and Ctrl+Alt+Enter send as well.
    if (key != VK_RETURN || !(shift & ssCtrl))
        return false;
    btSend.Click();
    return true;
}

void TfrmSend::FormShow() {
    FocusControl(mmContent);
}

} // namespace lv
