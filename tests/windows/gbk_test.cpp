#include "framework/Gbk.h"

#include <gtest/gtest.h>

// The build turns narrow literals into GBK bytes; the conversion must agree with it on
// any Wine locale, including the 1252 one that broke the A functions.
TEST(Gbk, LiteralsAreGbkAndConvertBothWays) {
    std::string to = "到 ";
    ASSERT_EQ(to, std::string("\xB5\xBD\x20"));
    EXPECT_EQ(lv::ToWide(to), std::wstring(L"\u5230 "));
    EXPECT_EQ(lv::ToGbk(L"信使服务 "), std::string("信使服务 "));
    EXPECT_EQ(lv::ToGbk(lv::ToWide("欢迎使用Lumivale！")), "欢迎使用Lumivale！");
    EXPECT_EQ(lv::ToWide(""), L"");
}
