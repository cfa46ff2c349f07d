#include "messenger/msgsvc/PopupText.h"

#include "framework/Gbk.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using lv::messenger::Message;
using lv::messenger::PopupText;

// What Lumivale's capture does with a pop-up text, byte for byte: the sender is bytes 4 to
// p-2 where p is the 1-based position of the first "到 "; the body starts at the second
// byte after the first line feed.
struct Captured {
    std::string sender, body;
};

std::string Substring(const std::string& t, long i, long n) {
    long len = static_cast<long>(t.size());
    if (i > len || n <= 0)
        return {};
    if (i < 1)
        i = 1;
    n = std::min(n, len - i + 1);
    return t.substr(static_cast<size_t>(i - 1), static_cast<size_t>(n));
}

Captured Capture(const std::string& t) {
    long len = static_cast<long>(t.size());
    size_t to = t.find("到 ");
    long p = to == std::string::npos ? 0 : static_cast<long>(to) + 1;
    size_t lf = t.find('\n');
    long q = lf == std::string::npos ? 0 : static_cast<long>(lf) + 1;
    return {Substring(t, 4, p - 5), Substring(t, q + 2, len - q)};
}

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

// What the capture reads back: the text goes into the window as UTF-16 and comes out as
// code page 936 again.
std::string WindowRoundTrip(const std::string& text) {
    return lv::ToGbk(lv::ToWide(text));
}

// Every single byte as a sender, through the window: the capture must never find a line
// feed in the header and must give back the sender whenever it is a character of its own.
TEST(PopupText, EveryOneByteSenderStaysInTheHeader) {
    for (int b = 0; b < 256; ++b) {
        std::string sender(1, static_cast<char>(b));
        std::string text = PopupText({sender, "B", "body"}, kTime);
        Captured got = Capture(WindowRoundTrip(text));
        EXPECT_EQ(got.body, "body") << b;
        bool control = b < 0x20 || b == 0x7F;
        bool lead = b >= 0x81 && b <= 0xFE;
        if (control || lead)
            EXPECT_EQ(got.sender, "_") << b;
        else
            EXPECT_EQ(got.sender, WindowRoundTrip(sender)) << b;
    }
}

// Bytes that are not whole GBK characters, through the window: a lead byte without its
// trail would take the blank of " 到 " or the line feed with it.
TEST(PopupText, BrokenDoubleByteCharactersKeepTheMarkersThroughTheWindow) {
    struct Case {
        const char* what;
        std::string sender, recipient, body, capturedSender, capturedBody;
    };
    const Case cases[] = {
        {"lead byte ending the sender", "abc\x81", "B", "x", "abc_", "x"},
        {"lead byte alone", "\xB5", "B", "x", "_", "x"},
        {"lead byte before a blank", "a\x81 b", "B", "x", "a_ b", "x"},
        {"lead byte before a control byte", "a\x81\nb", "B", "x", "a__b", "x"},
        {"lead byte before DEL", "a\xFE\x7F", "B", "x", "a__", "x"},
        {"four-byte GB18030 form", "\x81\x30\x81\x30", "B", "x", "_0_0", "x"},
        {"whole characters untouched", "张三\x81\x40", "B", "x", "张三\x81\x40", "x"},
        {"lead byte ending the recipient", "alice", "BOB\xC4", "x", "alice", "x"},
        {"lead byte ending the body", "alice", "B", "text\xFE", "alice", "text_"},
        {"lead byte before the body's line break", "alice", "B", "a\x81\r\nb", "alice", "a_\r\nb"},
        {"lead byte starting the body", "alice", "B", "\x81\n", "alice", "_\n"},
    };
    for (const Case& c : cases) {
        std::string text = PopupText({c.sender, c.recipient, c.body}, kTime);
        Captured got = Capture(WindowRoundTrip(text));
        EXPECT_EQ(got.sender, c.capturedSender) << c.what;
        EXPECT_EQ(got.body, c.capturedBody) << c.what;
    }
}

// Every lead byte with every second byte as the sender: whatever the window makes of the
// pair, the sender comes back as it would alone and the split stays in place.
TEST(PopupText, EveryTwoByteSenderSplitsRightThroughTheWindow) {
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int next = 0; next < 256; ++next) {
            std::string sender{static_cast<char>(lead), static_cast<char>(next)};
            Captured got = Capture(WindowRoundTrip(PopupText({sender, "B", "body"}, kTime)));
            ASSERT_EQ(got.body, "body") << lead << " " << next;
            ASSERT_EQ(got.sender, WindowRoundTrip(lv::messenger::HeaderSender(sender)))
                << lead << " " << next;
        }
    }
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
