#include "messenger/msgsvc/PopupSlots.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

namespace {

using lv::messenger::PopupSlots;
using Take = lv::messenger::PeerTally::Take;

constexpr uint32_t kPeer = 0x7F000001;

TEST(PopupSlots, LimitHoldsAndEverySlotComesBackOnce) {
    PopupSlots slots(3, 10);
    std::vector<std::function<void()>> releasers;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(slots.TryTake(kPeer), Take::kTaken);
        releasers.push_back(slots.Releaser(kPeer));
    }
    EXPECT_EQ(slots.TryTake(kPeer), Take::kFull);
    EXPECT_EQ(slots.Taken(), 3);
    // The window's close and an error path both releasing one pop-up free one slot.
    releasers[0]();
    releasers[0]();
    std::function<void()> copy = releasers[0];
    copy();
    EXPECT_EQ(slots.Taken(), 2);
    EXPECT_EQ(slots.TryTake(kPeer), Take::kTaken);
    EXPECT_EQ(slots.TryTake(kPeer), Take::kFull);
    releasers[1]();
    releasers[2]();
    EXPECT_EQ(slots.Taken(), 1);
}

// A pop-up's slot goes back to the peer that sent it, whichever thread closes it.
TEST(PopupSlots, ClosingAPopupFreesItsSendersShare) {
    constexpr uint32_t kFlood = 0x7F00000C, kQuiet = 0x7F00000D;
    PopupSlots slots(60, 2);
    ASSERT_EQ(slots.TryTake(kFlood), Take::kTaken);
    ASSERT_EQ(slots.TryTake(kFlood), Take::kTaken);
    ASSERT_EQ(slots.TryTake(kQuiet), Take::kTaken);
    EXPECT_EQ(slots.TryTake(kFlood), Take::kPeerFull);
    std::function<void()> closeFlood = slots.Releaser(kFlood);
    std::thread([&] {
        closeFlood();
        closeFlood();
    }).join();
    EXPECT_EQ(slots.TakenBy(kFlood), 1);
    EXPECT_EQ(slots.TakenBy(kQuiet), 1);
    EXPECT_EQ(slots.TryTake(kFlood), Take::kTaken);
}

} // namespace
