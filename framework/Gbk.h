#pragma once
// The program's texts are GBK (code page 936) bytes; Win32 takes UTF-16. The functions at
// the end are the only place where one becomes the other, and where UTF-16 becomes the UTF-8
// that the test tools print for the scripts on the Linux side. The byte rules below are
// portable: the protocol and msgsvc.exe use them without Win32.
#include <cstddef>
#include <string>
#include <string_view>

namespace lv {

// A byte 0x81..0xFE starts a double-byte character; cutting text after it would leave half
// a character that turns the next byte into garbage.
constexpr bool IsGbkLeadByte(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}

// What may follow a lead byte in a whole character.
constexpr bool IsGbkTrailByte(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
}

// Bytes of the character that starts at text[i]: 2 for a lead byte with a byte after it,
// else 1 (a lead byte at the very end stands alone).
constexpr size_t GbkCharacterBytes(std::string_view text, size_t i) {
    return IsGbkLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

std::wstring ToWide(std::string_view gbk);
std::string ToGbk(std::wstring_view wide);
std::string ToUtf8(std::wstring_view wide);

} // namespace lv
