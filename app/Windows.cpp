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

} // namespace lv
