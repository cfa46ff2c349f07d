// Which program a Run-key value starts, as Windows reads the value at log-on.
#include "settings/RunValue.h"

#include <gtest/gtest.h>

namespace {

TEST(RunValue, ProgramIsTheQuotedPartOrTheWholeBarePath) {
    struct Case {
        std::wstring_view value;
        std::wstring_view program;
    } cases[] = {
        {L"\"C:\\Program Files\\Lumivale\\Lumivale.exe\"",
         L"C:\\Program Files\\Lumivale\\Lumivale.exe"},
        {L"\"C:\\程序\\Lumivale.exe\" /hide", L"C:\\程序\\Lumivale.exe"},
        // Older installations wrote the bare path, blanks and all.
        {L"C:\\Program Files\\Lumivale\\Lumivale.exe",
         L"C:\\Program Files\\Lumivale\\Lumivale.exe"},
        {L" \t\"C:\\a.exe\"  ", L"C:\\a.exe"},
        {L"  C:\\a.exe\t", L"C:\\a.exe"},
        {L"\"C:\\no closing quote.exe", L"C:\\no closing quote.exe"},
        {L"\" C:\\a.exe\"", L" C:\\a.exe"},
        {L"\"\"", L""},
        {L"\"", L""},
        {L"   ", L""},
        {L"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lv::RunValueProgram(c.value), c.program);

    // What we write reads back as the path, blanks and Chinese included.
    for (std::wstring_view path :
         {L"C:\\Program Files\\Lumivale\\Lumivale.exe", L"C:\\程序\\L.exe"})
        EXPECT_EQ(lv::RunValueProgram(lv::RunValueFor(path)), path);
    EXPECT_EQ(lv::RunValueFor(L"C:\\a b\\L.exe"), L"\"C:\\a b\\L.exe\"");
}

} // namespace
