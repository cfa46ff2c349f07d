#include "framework/MessageBox.h"

#include "framework/Gbk.h"

namespace lv {
namespace {

std::function<int(const MessageBoxRequest&)>& Handler() {
    static std::function<int(const MessageBoxRequest&)> handler;
    return handler;
}

} // namespace

int ShowMessageBox(HWND owner, std::string_view text, std::string_view caption, UINT type) {
    if (Handler())
        return Handler()(MessageBoxRequest{owner, std::string(text), std::string(caption), type});
    return MessageBoxW(owner, ToWide(text).c_str(), ToWide(caption).c_str(), type);
}

void SetMessageBoxHandler(std::function<int(const MessageBoxRequest&)> answer) {
    Handler() = std::move(answer);
}

} // namespace lv
