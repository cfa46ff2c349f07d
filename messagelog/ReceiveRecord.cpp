#include "messagelog/ReceiveRecord.h"

namespace lv {

std::string ReceiveSenderLine(std::string_view sender) {
    return "发送者:" + std::string(sender);
}

std::vector<std::string> ReceiveRecordLines(const LogTime& time, std::string_view sender,
                                            std::string_view body) {
    return LogRecordLines(time, ReceiveSenderLine(sender), body);
}

std::string ReceiveRecordText(const LogTime& time, std::string_view sender,
                              std::string_view body) {
    return LogRecordText(time, ReceiveSenderLine(sender), body);
}

} // namespace lv
