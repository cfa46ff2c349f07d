#include "messagelog/SendRecord.h"

namespace lv {

std::string SendRecipientLine(std::string_view name, std::string_view address) {
    return "接收者：" + std::string(name) + "(" + std::string(address) + ")";
}

std::vector<std::string> SendRecordLines(const LogTime& time, std::string_view name,
                                         std::string_view address, std::string_view text) {
    return LogRecordLines(time, SendRecipientLine(name, address), text);
}

std::string SendRecordText(const LogTime& time, std::string_view name, std::string_view address,
                           std::string_view text) {
    return LogRecordText(time, SendRecipientLine(name, address), text);
}

} // namespace lv
