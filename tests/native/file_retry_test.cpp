#include "framework/FileRetry.h"
#include "framework/OnScreen.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr unsigned long kFileNotFound = 2, kDiskFull = 112;

// A clock that only moves when the code under test waits.
struct FakeTime {
    uint64_t now = 0;
    std::vector<unsigned> waits;
    lv::FileRetryClock Clock() {
        return {[this] { return now; },
                [this](unsigned ms) {
                    waits.push_back(ms);
                    now += ms;
                }};
    }
};

TEST(FileRetry, HeldFilesAreWaitedForAndOtherFailuresAreNot) {
    EXPECT_TRUE(lv::IsPassingFileError(lv::kErrorSharingViolation));
    EXPECT_TRUE(lv::IsPassingFileError(lv::kErrorLockViolation));
    EXPECT_TRUE(lv::IsPassingFileError(lv::kErrorAccessDenied));
    EXPECT_FALSE(lv::IsPassingFileError(0));
    EXPECT_FALSE(lv::IsPassingFileError(kFileNotFound));
    EXPECT_FALSE(lv::IsPassingFileError(kDiskFull));

    // A holder that lets go after 1.5 s: the operation succeeds, a little after.
    FakeTime t;
    int attempts = 0;
    unsigned long result = lv::RetryWhileHeld(
        [&]() -> unsigned long {
            ++attempts;
            return t.now < 1500 ? lv::kErrorSharingViolation : 0;
        },
        t.Clock());
    EXPECT_EQ(result, 0u);
    EXPECT_GE(t.now, 1500u);
    EXPECT_LT(t.now, 1800u);
    EXPECT_LE(attempts, 20) << "a held file is not hammered";

    // A full disk is a real failure: no wait at all.
    FakeTime full;
    attempts = 0;
    EXPECT_EQ(lv::RetryWhileHeld(
                  [&]() -> unsigned long {
                      ++attempts;
                      return kDiskFull;
                  },
                  full.Clock()),
              kDiskFull);
    EXPECT_EQ(attempts, 1);
    EXPECT_TRUE(full.waits.empty());

    // Held for good: given up at about 2 s with the holder's error, the last wait trimmed
    // to the limit, and a failure that turns real mid-way ends the tries at once.
    FakeTime forever;
    EXPECT_EQ(lv::RetryWhileHeld([] { return lv::kErrorLockViolation; }, forever.Clock()),
              lv::kErrorLockViolation);
    EXPECT_EQ(forever.now, lv::kFileRetryLimitMs);
    FakeTime turns;
    attempts = 0;
    EXPECT_EQ(lv::RetryWhileHeld(
                  [&]() -> unsigned long {
                      return ++attempts < 3 ? lv::kErrorAccessDenied : kFileNotFound;
                  },
                  turns.Clock()),
              kFileNotFound);
    EXPECT_EQ(attempts, 3);
}

TEST(FileRetry, AStopRequestEndsTheWaitWithTheLastResult) {
    FakeTime t;
    int attempts = 0;
    unsigned long result = lv::RetryWhileHeld(
        [&]() -> unsigned long {
            ++attempts;
            return lv::kErrorSharingViolation;
        },
        t.Clock(), [&] { return t.now >= 100; });
    EXPECT_EQ(result, lv::kErrorSharingViolation);
    EXPECT_LT(t.now, 400u);
    // Asked after the wait, before the next attempt: an overtaken write touches nothing more.
    EXPECT_EQ(static_cast<size_t>(attempts), t.waits.size());
}

TEST(OnScreen, ATitleBarOffEveryWorkAreaIsNotOnScreen) {
    const lv::ScreenRect primary{0, 0, 1280, 994}; // taskbar at the bottom
    const lv::ScreenRect left{-1920, 0, 0, 1080};
    const std::vector<lv::ScreenRect> two{primary, left};
    auto bar = [](long x, long y) { return lv::ScreenRect{x, y, x + 144, y + 23}; };
    EXPECT_TRUE(lv::TitleBarOnAMonitor(bar(1126, 205), {primary}));
    // Partly off the right edge: still grabbed by its visible part.
    EXPECT_TRUE(lv::TitleBarOnAMonitor(bar(1200, 10), {primary}));
    // On the second monitor, and after it was undocked.
    EXPECT_TRUE(lv::TitleBarOnAMonitor(bar(-1500, 300), two));
    EXPECT_FALSE(lv::TitleBarOnAMonitor(bar(-1500, 300), {primary}));
    // Far away, just past an edge, and under the taskbar (on the monitor, out of reach).
    EXPECT_FALSE(lv::TitleBarOnAMonitor(bar(30000, 30000), two));
    EXPECT_FALSE(lv::TitleBarOnAMonitor(bar(1280, 100), {primary}));
    EXPECT_FALSE(lv::TitleBarOnAMonitor(bar(100, -23), {primary}));
    EXPECT_FALSE(lv::TitleBarOnAMonitor(bar(100, 1000), {primary}));
    EXPECT_TRUE(lv::TitleBarOnAMonitor(bar(100, 980), {primary}));
    EXPECT_FALSE(lv::TitleBarOnAMonitor(bar(0, 0), {}));
}

} // namespace
