#include "settings/RunValue.h"

namespace lv {
namespace {

std::wstring_view Trim(std::wstring_view text) {
    constexpr std::wstring_view kBlanks = L" \t";
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

} // namespace

std::wstring_view RunValueProgram(std::wstring_view value) {
    value = Trim(value);
    if (value.empty() || value.front() != L'"')
        return value;
    // An opening quote without its closing one: Windows takes the rest as the path.
    size_t close = value.find(L'"', 1);
    return value.substr(1, close == std::wstring_view::npos ? std::wstring_view::npos : close - 1);
}

std::wstring RunValueFor(std::wstring_view program) {
    return L"\"" + std::wstring(program) + L"\"";
}

} // namespace lv
