#pragma once
// The program's colours, one name each, so that every window's sky blue is the same blue.
#include <windows.h>

namespace lv {

// Read-only texts, the friend list and the address and name fields.
inline constexpr COLORREF kSkyBlue = RGB(166, 202, 240);
// The status area and the text being written in the send window.
inline constexpr COLORREF kMoneyGreen = RGB(192, 220, 192);
inline constexpr COLORREF kWhite = RGB(255, 255, 255);
inline constexpr COLORREF kBlack = RGB(0, 0, 0);

} // namespace lv
