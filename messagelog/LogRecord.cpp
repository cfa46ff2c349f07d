#include "messagelog/LogRecord.h"

namespace lv {
namespace {

constexpr std::string_view kSeparator = "-----------------";
constexpr std::string_view kLineEnd = "\r\n";
constexpr int kEmptyLinesAfter = 4;

} // namespace

std::string LogDateLine(const LogTime& time) {
    return std::to_string(time.year) + "年" + std::to_string(time.month) + "月" +
           std::to_string(time.day) + "日 " + std::to_string(time.hour) + ":" +
           std::to_string(time.minute);
}

std::vector<std::string> LogRecordLines(const LogTime& time, std::string_view partyLine,
                                        std::string_view text) {
    std::vector<std::string> lines{LogDateLine(time), std::string(partyLine),
                                   std::string(kSeparator), std::string(text)};
    lines.resize(lines.size() + kEmptyLinesAfter);
    return lines;
}

std::string LogRecordText(const LogTime& time, std::string_view partyLine, std::string_view text) {
    return JoinLogLines(LogRecordLines(time, partyLine, text));
}

std::string JoinLogLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += kLineEnd;
    }
    return out;
}

} // namespace lv
