#include "friends/FriendFile.h"

#include <gtest/gtest.h>

using namespace std::string_literals;
using lv::ReadFriendFile;
using lv::WriteFriendFile;

TEST(FriendFile, WriterProducesTheDocumentedBytes) {
    std::vector<lv::Friend> friends{{"Bob", "10.0.0.2"}};
    std::string expected = "\x31\x20\x31\x20\x00\x53\x65\x6E\x64\x65\x72\x00\x42\x6F\x62\x00"
                           "\x31\x30\x2E\x30\x2E\x30\x2E\x32\x00\x45\x4E\x44"s;
    ASSERT_EQ(expected.size(), 28u);
    EXPECT_EQ(WriteFriendFile("Sender", friends), expected);
    EXPECT_EQ(WriteFriendFile("", {}), "1 0 \0\0END"s);
}

TEST(FriendFile, ChineseNamesRoundTripByteForByte) {
    std::vector<lv::Friend> friends{
        {"李四", "192.168.0.7"}, {"王五", "PC-王五"}, {"", ""}, {"Amy", "AMY"}};
    lv::FriendFileRead read = ReadFriendFile(WriteFriendFile("张三", friends));
    ASSERT_FALSE(read.damaged);
    EXPECT_EQ(read.version, 1);
    EXPECT_EQ(read.count, 4);
    EXPECT_EQ(read.sender, "张三");
    ASSERT_EQ(read.friends.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(read.friends[i].name, friends[i].name) << i;
        EXPECT_EQ(read.friends[i].address, friends[i].address) << i;
    }
}

TEST(FriendFile, DamagedFilesAreReported) {
    struct Case {
        const char* why;
        std::string bytes;
    } cases[] = {
        {"END followed by a letter", "1 1 \0S\0Bob\0001.2.3.4\0ENDX"s},
        {"no END", "1 1 \0S\0Bob\0001.2.3.4\0"s},
        {"another word", "1 1 \0S\0Bob\0001.2.3.4\0FIN"s},
        {"count larger than the records", "1 3 \0S\0Bob\0001.2.3.4\0END"s},
        {"count above 500", "1 501 \0S\0END"s},
        {"negative count", "1 -1 \0S\0END"s},
        {"no numbers", "hello"s},
        {"empty file", ""s},
        {"count too large for an int", "1 99999999999 \0S\0END"s},
    };
    for (const Case& c : cases) {
        lv::FriendFileRead read = ReadFriendFile(c.bytes);
        EXPECT_TRUE(read.damaged) << c.why;
        EXPECT_LE(read.friends.size(), 500u) << c.why;
    }
}

TEST(FriendFile, ToleratedVariations) {
    // END may be followed by white space; the version is only shown; bytes between the
    // count and the first NUL are skipped.
    for (std::string tail : {"END\r\n"s, "END   "s, "END\n\n"s, "\r\nEND"s}) {
        auto read = ReadFriendFile("1 1 \0S\0Bob\0001.2.3.4\0"s + tail);
        EXPECT_FALSE(read.damaged) << tail;
    }
    auto v2 = ReadFriendFile("2 0 \0S\0END"s);
    EXPECT_FALSE(v2.damaged);
    EXPECT_EQ(v2.version, 2);
    auto junk = ReadFriendFile("1 1 junk here\0Me\0Bob\0host\0END"s);
    ASSERT_FALSE(junk.damaged);
    EXPECT_EQ(junk.sender, "Me");
    ASSERT_EQ(junk.friends.size(), 1u);
    EXPECT_EQ(junk.friends[0].address, "host");
}

TEST(FriendFile, FiveHundredIsTheLimitBothWays) {
    std::vector<lv::Friend> friends;
    for (int i = 0; i < 501; ++i)
        friends.push_back({"n" + std::to_string(i), "a"});
    auto read = ReadFriendFile(WriteFriendFile("S", friends));
    ASSERT_FALSE(read.damaged);
    EXPECT_EQ(read.count, 500);
    EXPECT_EQ(read.friends.size(), 500u);
    EXPECT_EQ(read.friends.back().name, "n499");
}
