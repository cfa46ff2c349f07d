#pragma once
// The text of a Run-key value: which program it starts, and what we write for ours.
#include <string>
#include <string_view>

namespace lv {

// The program a Run value starts: between the double quotes when it begins with one (what
// follows the closing quote is arguments), otherwise the whole value, since older
// installations wrote the bare path, blanks included. Surrounding blanks are ignored.
std::wstring_view RunValueProgram(std::wstring_view value);

// The value we write: the path in double quotes. Unquoted, a path with blanks lets Windows
// try "C:\Program.exe" and the like first, which another program could have put there.
std::wstring RunValueFor(std::wstring_view program);

} // namespace lv
