#include "messenger/msgsvc/PeerTally.h"

#include <gtest/gtest.h>

namespace {

using lv::messenger::PeerTally;
using lv::messenger::RefusalCount;
using Take = PeerTally::Take;

constexpr uint32_t kPest = 0x7F00000B, kOther = 0x7F00000C, kThird = 0x7F00000D;

TEST(PeerTally, OnePeerAtItsShareLeavesRoomForTheOthers) {
    PeerTally tally(4, 2);
    ASSERT_EQ(tally.TryTake(kPest), Take::kTaken);
    ASSERT_EQ(tally.TryTake(kPest), Take::kTaken);
    EXPECT_EQ(tally.TryTake(kPest), Take::kPeerFull);
    ASSERT_EQ(tally.TryTake(kOther), Take::kTaken);
    ASSERT_EQ(tally.TryTake(kThird), Take::kTaken);
    // The total still holds, and a peer at its share is told it is its own doing.
    EXPECT_EQ(tally.TryTake(kOther), Take::kFull);
    EXPECT_EQ(tally.TryTake(kPest), Take::kPeerFull);
    // A freed slot goes back to its own peer's share.
    tally.Release(kOther);
    EXPECT_EQ(tally.TryTake(kPest), Take::kPeerFull);
    tally.Release(kPest);
    EXPECT_EQ(tally.TryTake(kPest), Take::kTaken);
    // A share of the total or more is no share.
    PeerTally wide(2, 2);
    ASSERT_EQ(wide.TryTake(kPest), Take::kTaken);
    ASSERT_EQ(wide.TryTake(kPest), Take::kTaken);
    EXPECT_EQ(wide.TryTake(kPest), Take::kFull);
}

TEST(PeerTally, StrayReleasesAndRefusalsLeaveNoTrace) {
    PeerTally tally(2, 1);
    tally.Release(kPest); // holds nothing: must not free someone else's slot
    ASSERT_EQ(tally.TryTake(kOther), Take::kTaken);
    tally.Release(kPest);
    EXPECT_EQ(tally.Taken(), 1);
    ASSERT_EQ(tally.TryTake(kPest), Take::kTaken);
    // A flood of refused addresses must not grow the tally.
    for (uint32_t peer = 0x0A000000; peer < 0x0A000000 + 10000; ++peer)
        EXPECT_EQ(tally.TryTake(peer), Take::kFull);
    EXPECT_EQ(tally.Peers(), 2u);
    tally.Release(kOther);
    tally.Release(kOther);
    tally.Release(kPest);
    EXPECT_EQ(tally.Taken(), 0);
    EXPECT_EQ(tally.Peers(), 0u);
}

TEST(RefusalCount, EachPestLoggedOnceThenOneLineAHundred) {
    RefusalCount count(2);
    int logged = 0;
    for (int i = 0; i < 1000; ++i)
        logged += count.Note(kPest) ? 1 : 0;
    EXPECT_EQ(logged, 10);           // refusals 1, 101, ..., 901
    EXPECT_TRUE(count.Note(kOther)); // its first, though not a hundredth
    EXPECT_FALSE(count.Note(kOther));
    // Past the addresses it remembers only the hundreds: bounded however many a peer uses.
    EXPECT_FALSE(count.Note(kThird));
}

} // namespace
