#include "messenger/msgsvc/LogQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using lv::messenger::LogQueue;
using Clock = std::chrono::steady_clock;

// Collects what the log thread writes; can be made to hang like a stalled disk.
struct FakeFile {
    std::mutex lock;
    std::vector<std::string> lines;
    std::promise<void> entered, release;
    bool stall = false;
    bool enteredSet = false;

    LogQueue::Writer Writer() {
        return [this](const std::vector<std::string>& batch) {
            bool wait = false;
            {
                std::lock_guard<std::mutex> hold(lock);
                if (stall && !enteredSet) {
                    enteredSet = true;
                    wait = true;
                }
            }
            if (wait) {
                entered.set_value();
                release.get_future().wait();
            }
            std::lock_guard<std::mutex> hold(lock);
            lines.insert(lines.end(), batch.begin(), batch.end());
        };
    }
};

TEST(LogQueue, EveryLineWrittenInOrderAndNoneLostAtTheEnd) {
    FakeFile file;
    {
        LogQueue log(16, file.Writer());
        // Pushed faster than a thread switch: the last ones are still queued at destruction.
        for (int i = 0; i < 16; ++i)
            ASSERT_TRUE(log.Push("line " + std::to_string(i)));
    }
    ASSERT_EQ(file.lines.size(), 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(file.lines[static_cast<size_t>(i)], "line " + std::to_string(i));
}

// A disk that hangs must not hang the network thread: pushes return at once, the
// overflow is counted, and the log says how many lines it lost right where they were lost.
TEST(LogQueue, StalledWriterNeverBlocksAPushAndTheLossIsLoggedOnce) {
    FakeFile file;
    file.stall = true;
    const size_t capacity = 100;
    {
        LogQueue log(capacity, file.Writer());
        ASSERT_TRUE(log.Push("first"));
        ASSERT_EQ(file.entered.get_future().wait_for(std::chrono::seconds(5)),
                  std::future_status::ready);
        auto start = Clock::now();
        int accepted = 0, refused = 0;
        for (int i = 0; i < 10000; ++i)
            (log.Push("line " + std::to_string(i)) ? accepted : refused)++;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(accepted, static_cast<int>(capacity));
        EXPECT_EQ(refused, 10000 - static_cast<int>(capacity));
        file.release.set_value();
    }
    ASSERT_EQ(file.lines.size(), 1 + capacity + 1);
    EXPECT_EQ(file.lines.front(), "first");
    EXPECT_EQ(file.lines[capacity], "line " + std::to_string(capacity - 1));
    EXPECT_EQ(file.lines.back(), LogQueue::DroppedLine(10000 - capacity));
    EXPECT_EQ(LogQueue::DroppedLine(9900), "9900 log lines dropped: the log file could not keep up");
}

TEST(LogQueue, AThrowingWriterDoesNotEndTheLog) {
    std::promise<void> thrown;
    std::vector<std::string> written;
    {
        LogQueue log(8, [&](const std::vector<std::string>& batch) {
            if (batch.front() == "bad") {
                thrown.set_value();
                throw std::runtime_error("disk gone");
            }
            written.insert(written.end(), batch.begin(), batch.end());
        });
        log.Push("bad");
        ASSERT_EQ(thrown.get_future().wait_for(std::chrono::seconds(5)),
                  std::future_status::ready);
        log.Push("good");
    }
    EXPECT_EQ(written, std::vector<std::string>{"good"});
}

} // namespace
