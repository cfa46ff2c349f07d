#include "capture/ArrivalNotice.h"

#include <vector>

namespace lv {
namespace {

const char kEllipsis[] = "…";

// GBK: a byte from 0x81 up leads a two-byte character. Cuts `gbk` to at most `characters`
// characters, never inside one; a cut text ends in the ellipsis, within the limit.
std::string CutToCharacters(std::string_view gbk, size_t characters) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < gbk.size();) {
        starts.push_back(i);
        i += static_cast<unsigned char>(gbk[i]) >= 0x81 && i + 1 < gbk.size() ? 2 : 1;
    }
    if (starts.size() <= characters)
        return std::string(gbk);
    return std::string(gbk.substr(0, starts[characters - 1])) + kEllipsis;
}

bool Blank(std::string_view line) {
    for (char c : line)
        if (static_cast<unsigned char>(c) > 0x20 && c != 0x7F)
            return false;
    return true;
}

} // namespace

std::string NoticeLine(std::string_view body, size_t characters) {
    std::string_view rest = body;
    std::string_view line;
    while (!rest.empty()) {
        size_t end = rest.find_first_of("\r\n");
        line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (!Blank(line))
            break;
        line = {};
    }
    std::string clean;
    for (size_t i = 0; i < line.size(); ++i) {
        auto byte = static_cast<unsigned char>(line[i]);
        if (byte >= 0x81 && i + 1 < line.size()) {
            // A trail byte can be any value from 0x40 up; it belongs to its character.
            clean += line.substr(i, 2);
            ++i;
        } else {
            clean += byte < 0x20 || byte == 0x7F ? ' ' : line[i];
        }
    }
    size_t first = clean.find_first_not_of(' ');
    size_t last = clean.find_last_not_of(' ');
    if (first == std::string::npos)
        return {};
    return CutToCharacters(std::string_view(clean).substr(first, last - first + 1), characters);
}

ArrivalNoticeText ArrivalNotice(int count, std::string_view sender, std::string_view body) {
    std::string who = NoticeLine(sender, 20);
    if (who.empty())
        who = "（未署名）";
    std::string line = NoticeLine(body, kNoticeTextCharacters);
    if (line.empty())
        line = "（没有内容）";
    ArrivalNoticeText notice;
    if (count <= 1) {
        notice.title = CutToCharacters(who + "发来信息", kNoticeTitleCharacters);
        notice.text = line;
    } else {
        notice.title = "收到" + std::to_string(count) + "条信息";
        notice.text = CutToCharacters("最新一条来自" + who + "：" + line, kNoticeTextCharacters);
    }
    return notice;
}

} // namespace lv
