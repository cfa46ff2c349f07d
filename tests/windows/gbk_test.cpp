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

// lvdriver hands window texts to the scripts as UTF-8, whatever the Wine locale: Chinese,
// a character beyond 16 bits (two UTF-16 units, one UTF-8 sequence) and ASCII as they are.
TEST(Gbk, WideTextBecomesUtf8ForTheScripts) {
    EXPECT_EQ(lv::ToUtf8(L"信使 ok"), std::string("\xE4\xBF\xA1\xE4\xBD\xBF ok"));
    EXPECT_EQ(lv::ToUtf8(L"\U0001F600"), std::string("\xF0\x9F\x98\x80"));
    EXPECT_EQ(lv::ToUtf8(L""), "");
}
