#include "messenger/msgsvc/PopupText.h"

#include "CaptureRule.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using lv::messenger::Message;
using lv::messenger::PopupText;

using msgsvc_test::Capture;
using msgsvc_test::Captured;

const std::string kTime = "2003/5/6 9:05:07";

TEST(PopupText, CaptureGetsSenderAndBodyBackUnchanged) {
    struct Case {
        const char* what;
        std::string sender, recipient, text;
    };
    const Case cases[] = {
        {"chinese two lines", "张三", "LUMIVALE", "你好，世界\r\n第二行 second line\r\n"},
        {"ascii", "alice", "BOB", "hello"},
        {"empty body", "alice", "BOB", ""},
        {"body starting with line breaks", "alice", "BOB", "\r\n\r\nx"},
        {"body holding the markers", "alice", "BOB", "a 到 b\n到 c"},
        {"recipient holding the marker", "alice", "甲到 乙", "x"},
        {"recipient with a line feed", "alice", "A\nB", "x"},
        {"one-letter sender", "a", "B", "x"},
        {"long sender", std::string(300, 'n'), "B", "x"},
        {"sender with a blank inside", "bob smith", "B", "x"},
        {"body of 4096 bytes", "张三", "B", std::string(4096, 'z')},
    };
    for (const Case& c : cases) {
        Captured got = Capture(PopupText({c.sender, c.recipient, c.text}, kTime));
        EXPECT_EQ(got.sender, c.sender) << c.what;
        EXPECT_EQ(got.body, c.text) << c.what;
    }
}

// Names from the network that would break the capture's rules come out changed in the
// least visible way, never splitting the message in the wrong place.
TEST(PopupText, HostileSendersKeepTheSplitIntact) {
    struct Case {
        const char* what;
        std::string sender, capturedSender;
    };
    const Case cases[] = {
        {"line feed in the sender", "evil\nname", "evil_name"},
        {"CR and 0x14", "a\rb\x14", "a_b_"},
        {"marker inside", "甲到 乙", "甲到　乙"},
        {"ends with the marker's character", "张到", "张到　"},
        {"marker twice", "到 到 ", "到　到　"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        std::string text = PopupText({c.sender, "B", "body\r\nline"}, kTime);
        Captured got = Capture(text);
        EXPECT_EQ(got.sender, c.capturedSender) << c.what;
        EXPECT_EQ(got.body, "body\r\nline") << c.what;
    }
}

TEST(PopupText, LayoutIsTheServicesOwn) {
    EXPECT_EQ(PopupText({"张三", "LUMIVALE", "hi"}, kTime),
              "从 张三 到 LUMIVALE 于 2003/5/6 9:05:07\n\nhi");
    // The lead-in and separator are the GBK bytes the capture counts with.
    EXPECT_EQ(std::string("从 到 于 "), "\xB4\xD3 \xB5\xBD \xD3\xDA ");
}

TEST(PopupText, EmbeddedNulWouldCutTheWindowText) {
    std::string text = PopupText({"a", "b", std::string("x\0y", 3)}, kTime);
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_EQ(Capture(text).body, "x y");
}

TEST(PopupText, TimeHasNoLeadingZeroInDateAndTwoDigitMinutes) {
    EXPECT_EQ(lv::messenger::PopupTime(2003, 5, 6, 9, 5, 7), "2003/5/6 9:05:07");
    EXPECT_EQ(lv::messenger::PopupTime(2003, 12, 31, 23, 59, 59), "2003/12/31 23:59:59");
}

TEST(PopupText, LogNamesAreCutToWholeCharacters) {
    std::string zhang40;
    for (int i = 0; i < 40; ++i)
        zhang40 += "张";
    struct Case {
        const char* what;
        std::string name, logged;
    };
    const Case cases[] = {
        {"short", "alice", "alice"},
        {"exactly 64", std::string(64, 'n'), std::string(64, 'n')},
        {"frame-sized", std::string(60000, 'n'), std::string(64, 'n') + "..."},
        {"chinese", zhang40, zhang40.substr(0, 64) + "..."},
        {"chinese one byte off", "a" + zhang40, "a" + zhang40.substr(0, 62) + "..."},
        {"line feed", "a\nb", "a_b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lv::messenger::LogName(c.name), c.logged) << c.what;
}

} // namespace
