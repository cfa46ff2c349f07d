#pragma once
// The program's texts are GBK (code page 936) bytes; Win32 takes UTF-16. These two
// functions are the only place where one becomes the other.
#include <string>
#include <string_view>

namespace lv {

std::wstring ToWide(std::string_view gbk);
std::string ToGbk(std::wstring_view wide);

} // namespace lv
