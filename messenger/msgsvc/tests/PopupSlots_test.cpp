#include "messenger/msgsvc/PopupSlots.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using lv::messenger::PopupSlots;

TEST(PopupSlots, LimitHoldsAndEverySlotComesBackOnce) {
    PopupSlots slots(3);
    std::vector<std::function<void()>> releasers;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(slots.TryTake());
        releasers.push_back(slots.Releaser());
    }
    EXPECT_FALSE(slots.TryTake());
    EXPECT_EQ(slots.Taken(), 3);
    // The window's close and an error path both releasing one pop-up free one slot.
    releasers[0]();
    releasers[0]();
    std::function<void()> copy = releasers[0];
    copy();
    EXPECT_EQ(slots.Taken(), 2);
    EXPECT_TRUE(slots.TryTake());
    EXPECT_FALSE(slots.TryTake());
    releasers[1]();
    releasers[2]();
    EXPECT_EQ(slots.Taken(), 1);
}

} // namespace
