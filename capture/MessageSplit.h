#pragma once
// The text of a Messenger pop-up, split into the sender's name and the message body.
//
// The text begins with a header line: a three-byte lead-in (a two-byte word and a
// blank), the sender, one blank, "到 " and the rest of the header (recipient and date);
// then a line feed, one further byte, and the body up to the end of the text:
//   - sender: bytes 4 up to the blank before the first "到 " (1-based). Empty when there
//     is no "到 " or it begins within the first five bytes.
//   - body: from the second byte after the first line feed to the end. With no line feed,
//     the text without its first byte; empty when the line feed is the last or the
//     second-to-last byte.
// Both searches run over the whole text, independently; nothing is trimmed. The text is
// GBK bytes, without the terminating NUL of the buffer it was read into.
#include <string>
#include <string_view>

namespace lv {

// "到 ": B5 BD 20.
inline constexpr std::string_view kSenderMarker = "到 ";

struct SplitMessage {
    std::string sender, body;
};

SplitMessage SplitPopupText(std::string_view gbk);

} // namespace lv
