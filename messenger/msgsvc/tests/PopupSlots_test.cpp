#include "messenger/msgsvc/PopupSlots.h"
#include "messenger/msgsvc/SingleInstance.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <vector>

namespace {

using lv::messenger::ClaimInstance;
using lv::messenger::InstanceClaim;
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

TEST(SingleInstance, SecondClaimIsRefusedAndAForeignObjectIsAFailure) {
    std::wstring name = L"LumivaleTestInstance " + std::to_wstring(GetCurrentProcessId());
    EXPECT_EQ(ClaimInstance(name), InstanceClaim::kFirst);
    EXPECT_EQ(ClaimInstance(name), InstanceClaim::kAlreadyRunning);
    // An event of the same name leaves no mutex to hold: the service must not start.
    std::wstring taken = name + L" event";
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, taken.c_str());
    ASSERT_TRUE(event);
    EXPECT_EQ(ClaimInstance(taken), InstanceClaim::kFailed);
    CloseHandle(event);
}

} // namespace
