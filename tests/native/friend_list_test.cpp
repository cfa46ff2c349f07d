#include "friends/FriendFile.h"
#include "friends/FriendList.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

std::vector<std::string> Names(const lv::FriendList& list) {
    std::vector<std::string> names;
    for (const lv::Friend& f : list.Entries())
        names.push_back(f.name);
    return names;
}

TEST(FriendList, HoldsFiveHundredAndRefusesTheNextWithoutChange) {
    lv::FriendList list;
    for (int i = 0; i < lv::kMaxFriends; ++i)
        ASSERT_TRUE(list.Add({"n" + std::to_string(i), "a" + std::to_string(i)})) << i;
    EXPECT_TRUE(list.Full());
    EXPECT_FALSE(list.Add({"n500", "a500"}));
    EXPECT_EQ(list.Count(), lv::kMaxFriends);
    EXPECT_EQ(list.At(lv::kMaxFriends - 1).name, "n499");
    EXPECT_FALSE(list.IndexOfName("n500"));
    // A file's worth of entries beyond the limit is cut, and the caller is told.
    std::vector<lv::Friend> many(lv::kMaxFriends + 3, lv::Friend{"x", "y"});
    EXPECT_FALSE(list.Assign(many));
    EXPECT_EQ(list.Count(), lv::kMaxFriends);
}

TEST(FriendList, RemovingFirstMiddleOrLastClosesTheGapInOrder) {
    struct Case {
        int remove;
        std::vector<std::string> left;
    } cases[] = {{0, {"B", "C", "D"}}, {2, {"A", "B", "D"}}, {3, {"A", "B", "C"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.remove);
        lv::FriendList list;
        for (const char* n : {"A", "B", "C", "D"})
            list.Add({n, std::string(n) + "-addr"});
        ASSERT_TRUE(list.Remove(c.remove));
        EXPECT_EQ(Names(list), c.left);
        for (int i = 0; i < list.Count(); ++i)
            EXPECT_EQ(list.At(i).address, list.At(i).name + "-addr") << "names and addresses split";
    }
    lv::FriendList list;
    list.Add({"A", "a"});
    EXPECT_FALSE(list.Remove(1));
    EXPECT_FALSE(list.Remove(-1));
    EXPECT_FALSE(list.Replace(1, {"B", "b"}));
    EXPECT_EQ(Names(list), std::vector<std::string>{"A"});
}

TEST(FriendList, ReplaceAndLookupAreExactByteComparisons) {
    lv::FriendList list;
    list.Add({"张三", "10.0.0.2"});
    list.Add({"李四", "10.0.0.2"});
    list.Add({"Amy", "pc-amy"});
    ASSERT_TRUE(list.Replace(1, {"王五", "PC-WANG"}));
    EXPECT_EQ(Names(list), (std::vector<std::string>{"张三", "王五", "Amy"}));
    struct Case {
        const char* address;
        const char* name;
    } cases[] = {{"10.0.0.2", "张三"},   {"PC-WANG", "王五"},     {"pc-wang", "出错了"},
                 {"10.0.0.20", "出错了"}, {"10.0.0.", "出错了"}, {"", "出错了"}};
    for (const Case& c : cases)
        EXPECT_EQ(list.NameByAddress(c.address), c.name) << c.address;
    EXPECT_EQ(list.IndexOfName("Amy"), 2);
    EXPECT_FALSE(list.IndexOfName("amy"));
    EXPECT_EQ(list.At(7).name, "") << "an index past the end reads as an empty entry";
}

// The list and the file agree: what a valid FRIENDS.DAT holds is what the list gets, and
// the list written back gives the same bytes.
TEST(FriendList, FileVectorsRoundTripThroughTheList) {
    std::string file = "1 2 \0我\0张三\000192.168.1.5\0李四\0PC-LI\0END"s;
    lv::FriendFileRead read = lv::ReadFriendFile(file);
    ASSERT_FALSE(read.damaged);
    lv::FriendList list;
    list.SetSenderName(*read.sender);
    EXPECT_TRUE(list.Assign(read.friends));
    EXPECT_EQ(lv::WriteFriendFile(list.SenderName(), list.Entries()), file);
    list.Remove(0);
    EXPECT_EQ(lv::WriteFriendFile(list.SenderName(), list.Entries()),
              "1 1 \0我\0李四\0PC-LI\0END"s);
}

} // namespace
