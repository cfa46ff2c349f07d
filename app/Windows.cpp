#include "app/Windows.h"

namespace lv {
namespace {

FormLayout Layout(std::string caption, int width, int height, std::optional<POINT> position) {
    FormLayout layout;
    layout.caption = std::move(caption);
    layout.clientWidth = width;
    layout.clientHeight = height;
    layout.position = position;
    return layout;
}

} // namespace

TfrmSend::TfrmSend() {
    CreateForm(Layout("发送信息", 377, 364, POINT{276, 188}));
}

TfrmTempSend::TfrmTempSend() {
    CreateForm(Layout("请输入", 265, 103, std::nullopt));
}

TfrmAbout::TfrmAbout() {
    CreateForm(Layout("关于Lumivale", 367, 235, POINT{308, 219}));
}

TfrmHelp::TfrmHelp() {
    FormLayout layout = Layout("Lumivale使用说明", 432, 350, std::nullopt);
    layout.fontName = "MS Sans Serif";
    layout.fontHeight = 11;
    layout.charset = DEFAULT_CHARSET;
    CreateForm(layout);
}

TfrmReceive::TfrmReceive() {
    CreateForm(Layout("收到信息", 345, 318, POINT{305, 173}));
}

TfrmHistory::TfrmHistory() {
    FormLayout layout = Layout("Lumivale－查看聊天记录", 465, 534, POINT{290, 134});
    layout.minimizeBox = true;
    CreateForm(layout);
}

} // namespace lv
