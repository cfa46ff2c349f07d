#include "capture/MessageSplit.h"
#include "messagelog/ReceiveRecord.h"
#include "messagelog/SendRecord.h"

#include <gtest/gtest.h>

#include <random>

using namespace std::string_literals;

namespace {

// ---- Splitting a pop-up's text ----

TEST(SplitPopupText, MarkersAreTheProgramsGbkBytes) {
    EXPECT_EQ(lv::kSenderMarker, "\xB5\xBD\x20");
}

TEST(SplitPopupText, DocumentedCases) {
    struct Case {
        const char* what;
        std::string text, sender, body;
    } cases[] = {
        {"the pop-up as the service writes it", "从 张三 到 LUMIVALE 于 2003/5/6 9:05\n\n你好\r\n再见",
         "张三", "你好\r\n再见"},
        {"alice at bytes 4-8, marker at 10-12", "从 alice 到 bob\n\rhi", "alice", "hi"},
        {"no marker: empty sender", "从 alice to bob\n\rhi", "", "hi"},
        {"no line feed: the text without its first byte", "从 alice 到 bob", "alice",
         "\xD3 alice 到 bob"},
        {"line feed as last byte: empty body", "从 alice 到 bob\n", "alice", ""},
        {"line feed as second-to-last byte: empty body", "从 alice 到 bob\n\r", "alice", ""},
        {"marker at byte 1", "到 alice\n\rhi", "", "hi"},
        {"marker at byte 5, inside the lead-in's reach", "从 a到 b\n\rx", "", "x"},
        {"marker at byte 6: a one-byte sender", "从 a 到 c\n\rx", "a", "x"},
        {"the first marker counts, also inside the body", "从 a b 到 c 到 d\n\r到 e", "a b", "到 e"},
        {"the marker only in the body", "从 alice\n\rx 到 y", "alice\n\rx", "x 到 y"},
        {"the first line feed counts", "从 a 到 b\n\rl1\nl2", "a", "l1\nl2"},
        {"the byte after the line feed is dropped whatever it is", "从 a 到 b\nXbody", "a", "body"},
        {"\"到\" without its blank is no marker", "从 alice 到bob\n\rx", "", "x"},
        {"empty text", "", "", ""},
        {"one byte", "x", "", ""},
        {"only a line feed", "\n", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        lv::SplitMessage split = lv::SplitPopupText(c.text);
        EXPECT_EQ(split.sender, c.sender);
        EXPECT_EQ(split.body, c.body);
    }
}

TEST(SplitPopupText, NulBytesAreOrdinaryBytesOfTheView) {
    std::string text = "从 a\0b 到 c\n\rx\0y"s;
    lv::SplitMessage split = lv::SplitPopupText(text);
    EXPECT_EQ(split.sender, "a\0b"s);
    EXPECT_EQ(split.body, "x\0y"s);
}

// An independent model of the rules, on 1-based byte positions, the way the rules are
// stated: Position(sub) is the first occurrence or 0, Substring(i, n) is empty for i > L
// or n <= 0, an i below 1 counts as 1, n is cut to L - i + 1.
struct ByteModel {
    std::vector<unsigned char> t;

    long Length() const { return static_cast<long>(t.size()); }

    long Position(const std::vector<unsigned char>& sub) const {
        for (long i = 1; i + static_cast<long>(sub.size()) - 1 <= Length(); ++i) {
            bool same = true;
            for (size_t k = 0; k < sub.size(); ++k)
                if (t[static_cast<size_t>(i - 1) + k] != sub[k])
                    same = false;
            if (same)
                return i;
        }
        return 0;
    }

    std::string Substring(long i, long n) const {
        if (i > Length() || n <= 0)
            return {};
        if (i < 1)
            i = 1;
        if (n > Length() - i + 1)
            n = Length() - i + 1;
        std::string out;
        for (long k = i; k <= i + n - 1; ++k)
            out.push_back(static_cast<char>(t[static_cast<size_t>(k - 1)]));
        return out;
    }

    lv::SplitMessage Split() const {
        long p = Position({0xB5, 0xBD, 0x20});
        long q = Position({0x0A});
        return {Substring(4, p - 5), Substring(q + 2, Length() - q)};
    }
};

TEST(SplitPopupText, AgreesWithAByteModelOnRandomTexts) {
    // Few distinct bytes, so that markers, line feeds and their near misses turn up often.
    const unsigned char alphabet[] = {0xB5, 0xBD, 0x20, 0x0A, 0x0D, 'a', 0xD3, 0x00};
    std::mt19937 random(20030506);
    std::uniform_int_distribution<int> length(0, 24), pick(0, sizeof alphabet - 1);
    std::uniform_int_distribution<int> coin(0, 3);
    for (int round = 0; round < 50000; ++round) {
        ByteModel model;
        int n = length(random);
        for (int i = 0; i < n; ++i)
            model.t.push_back(alphabet[pick(random)]);
        if (coin(random) == 0) { // a whole marker somewhere
            std::uniform_int_distribution<size_t> at(0, model.t.size());
            model.t.insert(model.t.begin() + static_cast<long>(at(random)), {0xB5, 0xBD, 0x20});
        }
        std::string text(model.t.begin(), model.t.end());
        lv::SplitMessage expected = model.Split();
        lv::SplitMessage split = lv::SplitPopupText(text);
        ASSERT_EQ(split.sender, expected.sender) << testing::PrintToString(text);
        ASSERT_EQ(split.body, expected.body) << testing::PrintToString(text);
    }
}

// ---- The log records ----

std::vector<std::string> FileLines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(bytes.substr(start, end - start));
    EXPECT_EQ(start, bytes.size()) << "the last line has no CR LF";
    return lines;
}

TEST(LogRecord, DateLinesHaveNoLeadingZerosNorSeconds) {
    EXPECT_EQ(lv::LogDateLine({2003, 5, 6, 9, 5}), "2003年5月6日 9:5");
    EXPECT_EQ(lv::LogDateLine({2003, 12, 31, 23, 59}), "2003年12月31日 23:59");
    EXPECT_EQ(lv::LogDateLine({2003, 12, 1, 9, 5}), "2003年12月1日 9:5");
    EXPECT_EQ(lv::LogDateLine({2024, 1, 5, 0, 0}), "2024年1月5日 0:0");
    // Bytes: the blank after 日 is ASCII, the colon too.
    EXPECT_EQ(lv::LogDateLine({2003, 5, 6, 9, 5}), "2003\xC4\xEA" "5\xD4\xC2" "6\xC8\xD5 9:5");
}

TEST(ReceiveRecord, OneLineMessageIsEightLinesEachEndedByCrLf) {
    std::string record = lv::ReceiveRecordText({2003, 5, 6, 9, 5}, "alice", "hi");
    EXPECT_EQ(record, "2003年5月6日 9:5\r\n发送者:alice\r\n-----------------\r\nhi\r\n\r\n\r\n\r\n\r\n");
    EXPECT_EQ(FileLines(record).size(), 8u);
    EXPECT_EQ(lv::ReceiveRecordLines({2003, 5, 6, 9, 5}, "alice", "hi").size(), 8u);
}

TEST(ReceiveRecord, EmptySenderAndEmptyBodyStillGiveEightLines) {
    std::vector<std::string> lines = FileLines(lv::ReceiveRecordText({2003, 12, 31, 23, 59}, "", ""));
    std::vector<std::string> expected = {"2003年12月31日 23:59", "发送者:", "-----------------", "",
                                         "", "", "", ""};
    EXPECT_EQ(lines, expected);
}

TEST(ReceiveRecord, BodyLineBreaksAreKept) {
    std::string body = "第一行\r\n第二行\r\n第三行";
    std::vector<std::string> lines = FileLines(lv::ReceiveRecordText({2003, 5, 6, 9, 5}, "张三", body));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[1], "发送者:张三");
    EXPECT_EQ((std::vector<std::string>{lines[3], lines[4], lines[5]}),
              (std::vector<std::string>{"第一行", "第二行", "第三行"}));
    for (size_t i = 6; i < 10; ++i)
        EXPECT_EQ(lines[i], "");
    // As lines the body is one entry: the record stays eight entries long.
    EXPECT_EQ(lv::ReceiveRecordLines({2003, 5, 6, 9, 5}, "张三", body)[3], body);
}

TEST(SendRecord, RecipientLineAndLayout) {
    EXPECT_EQ(lv::SendRecipientLine("张三", "192.168.0.7"), "接收者：张三(192.168.0.7)");
    EXPECT_EQ(lv::SendRecipientLine("（临时发送）", "192.168.0.7"), "接收者：（临时发送）(192.168.0.7)");
    // Full-width colon, ASCII parentheses.
    EXPECT_EQ(lv::SendRecipientLine("a", "b"), "\xBD\xD3\xCA\xD5\xD5\xDF\xA3\xBA" "a(b)");

    std::string record = lv::SendRecordText({2003, 1, 5, 9, 7}, "张三", "192.168.0.7", "hi");
    EXPECT_EQ(record,
              "2003年1月5日 9:7\r\n接收者：张三(192.168.0.7)\r\n-----------------\r\nhi\r\n\r\n\r\n\r\n\r\n");
}

TEST(SendRecord, ThreeLineAndEmptyTexts) {
    std::vector<std::string> three =
        FileLines(lv::SendRecordText({2003, 12, 1, 9, 5}, "张三", "pc1", "a\r\nb\r\nc"));
    std::vector<std::string> expected = {"2003年12月1日 9:5", "接收者：张三(pc1)", "-----------------",
                                         "a", "b", "c", "", "", "", ""};
    EXPECT_EQ(three, expected);

    std::vector<std::string> empty = FileLines(lv::SendRecordText({2003, 12, 1, 9, 5}, "张三", "", ""));
    expected = {"2003年12月1日 9:5", "接收者：张三()", "-----------------", "", "", "", "", ""};
    EXPECT_EQ(empty, expected);
}

TEST(LogRecord, NewRecordInFrontOfTheLogKeepsTheOlderBytes) {
    std::string older = lv::SendRecordText({2003, 1, 5, 9, 7}, "a", "1", "old");
    std::vector<std::string> lines = lv::SendRecordLines({2003, 1, 5, 9, 8}, "b", "2", "new");
    std::vector<std::string> oldLines = FileLines(older);
    lines.insert(lines.end(), oldLines.begin(), oldLines.end());
    EXPECT_EQ(lv::JoinLogLines(lines), lv::SendRecordText({2003, 1, 5, 9, 8}, "b", "2", "new") + older);
}

} // namespace
