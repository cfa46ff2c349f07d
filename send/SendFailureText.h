#pragma once
// The line that follows "<name>:发送失败:-(" and says why, and what to do. Portable.
#include "messenger/SendReason.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace lv {

inline constexpr char kRefusedText[] =
    "对方电脑拒绝连接：这台电脑开着，但没有运行Lumivale（msgsvc.exe）或信使服务。"
    "请对方启动Lumivale后再发。";
// Said for a text longer than the protocol carries: it was never sent.
inline constexpr char kTooLongText[] = "信息太长（超过4096字节），没有发出。";
// ERRnoroom for the text: the receiver is full, or the text is longer than it takes.
inline constexpr char kNotTakenText[] =
    "对方的信息太多，暂时不收：请稍后再发，或者请对方先看完已收到的信息"
    "（信息太长时也会这样，可以分成几条短一些的发）。";

// Empty for an accepted message. `address` is the recipient as sent (GBK), `textBytes`
// the length of the text in GBK.
std::string SendFailureLine(const messenger::SendResult& result, std::string_view address,
                            size_t textBytes);

} // namespace lv
