#include "capture/ArrivalNotice.h"

#include <gtest/gtest.h>

namespace {

// Characters as the shell counts them: a GBK lead byte and its trail are one.
size_t Characters(const std::string& gbk) {
    size_t n = 0;
    for (size_t i = 0; i < gbk.size(); ++i, ++n)
        if (static_cast<unsigned char>(gbk[i]) >= 0x81)
            ++i;
    return n;
}

TEST(ArrivalNotice, OneMessageShowsItsSenderAndTheFirstLineThatSaysSomething) {
    lv::ArrivalNoticeText n = lv::ArrivalNotice(1, "张三", "\r\n  \r\n明天开会\r\n第二行");
    EXPECT_EQ("张三发来信息", n.title);
    EXPECT_EQ("明天开会", n.text);

    // Line breaks of either kind, tabs and other control bytes never reach the balloon.
    EXPECT_EQ("a b  c", lv::ArrivalNotice(1, "x",
                                          "\na\tb\x01\x1b"
                                          "c\rrest")
                            .text);
    // A trail byte that looks like ASCII (0x5C is "\", 0x7C "|") stays in its character.
    EXPECT_EQ("\x81\x5C\x95\x7C", lv::NoticeLine("\x81\x5C\x95\x7C\r\n", 10));
}

TEST(ArrivalNotice, SeveralAtOnceGiveTheCountAndTheNewestSender) {
    lv::ArrivalNoticeText n = lv::ArrivalNotice(3, "李四", "最后一条");
    EXPECT_EQ("收到3条信息", n.title);
    EXPECT_EQ("最新一条来自李四：最后一条", n.text);
}

TEST(ArrivalNotice, NothingIsEverEmptyForAnEmptyOrBlankMessage) {
    // An empty text would take the notification away instead of showing it.
    lv::ArrivalNoticeText n = lv::ArrivalNotice(1, "", " \r\n\t");
    EXPECT_EQ("（未署名）发来信息", n.title);
    EXPECT_EQ("（没有内容）", n.text);
    EXPECT_FALSE(lv::ArrivalNotice(2, "\r\n", "").text.empty());
}

TEST(ArrivalNotice, LongTextsAreCutWithinTheShellsLimitsAndNeverInsideACharacter) {
    std::string chinese;
    for (int i = 0; i < 300; ++i)
        chinese += "信";
    for (const std::string& body : {chinese, "a" + chinese, std::string(400, 'b')}) {
        lv::ArrivalNoticeText n = lv::ArrivalNotice(1, chinese, body);
        EXPECT_LE(Characters(n.title), lv::kNoticeTitleCharacters);
        EXPECT_LE(Characters(n.text), lv::kNoticeTextCharacters);
        EXPECT_EQ("…", n.text.substr(n.text.size() - 2));
        EXPECT_EQ(body.substr(0, n.text.size() - 2), n.text.substr(0, n.text.size() - 2));
        lv::ArrivalNoticeText many = lv::ArrivalNotice(500, chinese, body);
        EXPECT_LE(Characters(many.text), lv::kNoticeTextCharacters);
    }
    // A last lead byte without its trail is not a character to cut in two.
    EXPECT_EQ("ab\x81", lv::NoticeLine("ab\x81", 10));
}

} // namespace
