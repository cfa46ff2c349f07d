#include "framework/Gbk.h"

#include <windows.h>

namespace lv {

// Always code page 936, never CP_ACP: under Wine the ANSI code page is usually 1252 and
// would turn every Chinese character into "?".
constexpr UINT kGbk = 936;

std::wstring ToWide(std::string_view gbk) {
    if (gbk.empty())
        return {};
    int n = MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), out.data(), n);
    return out;
}

namespace {

std::string Narrow(UINT codePage, std::wstring_view wide) {
    if (wide.empty())
        return {};
    int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

} // namespace

std::string ToGbk(std::wstring_view wide) {
    return Narrow(kGbk, wide);
}

std::string ToUtf8(std::wstring_view wide) {
    return Narrow(CP_UTF8, wide);
}

} // namespace lv
