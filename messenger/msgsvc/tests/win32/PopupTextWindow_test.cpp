// The pop-up text after the trip through the window (UTF-16 and back to code page 936):
// what the capture really reads. Needs the system's conversion, so Windows only.
#include "messenger/msgsvc/PopupText.h"

#include "framework/Gbk.h"

#include "../CaptureRule.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using lv::messenger::Message;
using lv::messenger::PopupText;

using msgsvc_test::Capture;
using msgsvc_test::Captured;

const std::string kTime = "2003/5/6 9:05:07";

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

} // namespace
