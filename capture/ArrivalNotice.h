#pragma once
// The notification the tray icon shows when messages arrive (a balloon; on Windows 10/11 a
// toast, which is seen even when the icon sits in the hidden overflow): who sent it and the
// first line of the text, or, for several at once, how many and who sent the newest.
#include <cstddef>
#include <string>
#include <string_view>

namespace lv {

// The shell keeps 64 characters of a notification's title and 256 of its text, each with
// its terminating zero.
inline constexpr size_t kNoticeTitleCharacters = 63;
inline constexpr size_t kNoticeTextCharacters = 255;

struct ArrivalNoticeText {
    std::string title, text; // GBK, never empty: an empty text takes the notification away
};

// `count` messages arrived (at least one); the newest came from `sender` with `body`.
ArrivalNoticeText ArrivalNotice(int count, std::string_view sender, std::string_view body);

// The first line of `body` that is not blank, every control byte made a blank, and cut to
// `characters` GBK characters (a cut one ends in "…"). Empty when the body has no such line.
std::string NoticeLine(std::string_view body, size_t characters);

} // namespace lv
