#include "send/TempSend.h"

#include "framework/Palette.h"

namespace lv {

TfrmTempSend::TfrmTempSend(TfrmSend& sendWindow) : send_(sendWindow) {
    FormLayout layout;
    layout.caption = kTempSendCaption;
    layout.clientWidth = 265;
    layout.clientHeight = 103;
    layout.position = std::nullopt; // centred on the desktop
    CreateForm(layout);

    GroupBox1.Create(*this, kTempSendGroup, "接收者IP或计算机名", 8, 8, 249, 57);
    edtIP.Create(*this, kEdtTempSendIP, "", 16, 32, 233, 21);
    edtIP.SetColor(kSkyBlue);
    btOK.Create(*this, kTempSendBtOK, "确定", 96, 72, 75, 25);
    SetDefaultButton(&btOK);
    btOK.OnClick = [this] { btOKClick(); };
}

bool TfrmTempSend::Open() {
    edtIP.SetText("");
    opened_ = false;
    ShowModal();
    return opened_;
}

void TfrmTempSend::btOKClick() {
    std::string address = edtIP.Text();
    Close();
    send_.OpenForAddress(address);
    opened_ = true;
}

void TfrmTempSend::FormShow() {
    FocusControl(edtIP);
}

} // namespace lv
