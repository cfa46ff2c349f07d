#pragma once
// The record receive.txt holds for one captured message (newest first in the file):
//   2003年5月6日 9:5
//   发送者:alice
//   -----------------
//   the body, as captured (its own line breaks make it several lines)
//   four empty lines
// every line ended by CR LF.
#include "messagelog/LogRecord.h"

#include <string>
#include <string_view>
#include <vector>

namespace lv {

// "发送者:" followed directly by the sender (ASCII colon, no blank).
std::string ReceiveSenderLine(std::string_view sender);

std::vector<std::string> ReceiveRecordLines(const LogTime& time, std::string_view sender,
                                            std::string_view body);
std::string ReceiveRecordText(const LogTime& time, std::string_view sender,
                              std::string_view body);

} // namespace lv
