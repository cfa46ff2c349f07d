#pragma once
// The record send.txt holds for one message the Messenger service accepted (newest first
// in the file):
//   2003年1月5日 9:7
//   接收者：张三(192.168.0.7)
//   -----------------
//   the text as sent (its own line breaks make it several lines; empty gives one line)
//   four empty lines
// every line ended by CR LF.
#include "messagelog/LogRecord.h"

#include <string>
#include <string_view>
#include <vector>

namespace lv {

// "接收者：" + name + "(" + address + ")", ASCII parentheses.
std::string SendRecipientLine(std::string_view name, std::string_view address);

std::vector<std::string> SendRecordLines(const LogTime& time, std::string_view name,
                                         std::string_view address, std::string_view text);
std::string SendRecordText(const LogTime& time, std::string_view name, std::string_view address,
                           std::string_view text);

} // namespace lv
