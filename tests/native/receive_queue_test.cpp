#include "capture/ReceiveQueue.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <utility>

namespace {

using Message = std::pair<std::string, std::string>; // body, sender

TEST(ReceiveQueue, ShowsInArrivalOrderAndNeverStepsPastTheLastWaitingMessage) {
    lv::ReceiveQueue q;
    EXPECT_EQ(q.CurrentBody(), "");
    EXPECT_FALSE(q.Dismiss()) << "closing an empty window dismisses nothing";
    q.Enqueue("b1", "s1");
    q.Enqueue("b2", "s2");
    EXPECT_EQ(q.CurrentBody(), "b1");
    EXPECT_TRUE(q.Next());
    EXPECT_EQ(q.CurrentSender(), "s2");
    EXPECT_FALSE(q.Next()) << "the last waiting message stays on screen";
    EXPECT_TRUE(q.Dismiss());
    EXPECT_FALSE(q.Dismiss());
    EXPECT_EQ(q.Waiting(), 0);
    // Nothing skipped: a message after extra closes is the one shown next.
    q.Enqueue("b3", "s3");
    EXPECT_EQ(q.CurrentIndex(), 2);
    EXPECT_EQ(q.CurrentBody(), "b3");
}

TEST(ReceiveQueue, FiveHundredWaitingIsTheLimitAndDismissedSlotsAreTakenAgain) {
    lv::ReceiveQueue q;
    for (int i = 0; i < 500; ++i)
        ASSERT_TRUE(q.Enqueue("m" + std::to_string(i), ""));
    EXPECT_FALSE(q.Enqueue("m500", "")) << "the 501st waiting message is refused";
    EXPECT_EQ(q.ReceivedCount(), 500);
    q.Dismiss();
    EXPECT_TRUE(q.Enqueue("m500", "")) << "a dismissed message frees its place";
    EXPECT_EQ(q.CurrentBody(), "m1");
    for (int i = 1; i < 500; ++i)
        q.Dismiss();
    EXPECT_EQ(q.CurrentBody(), "m500") << "the message in a reused slot";
}

// Random enqueue / next / close sequences, far past 500 messages, against a model that
// keeps the waiting messages themselves rather than indices and slots.
TEST(ReceiveQueue, LongInterleavingsMatchAModelOfTheWaitingMessages) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        std::mt19937 random(seed);
        lv::ReceiveQueue q;
        std::deque<Message> waiting;
        int serial = 0, refused = 0;
        // Bursts that overfill the queue alternate with stretches of reading.
        for (int step = 0; step < 6000; ++step) {
            bool burst = (step / 700) % 2 == 0;
            int op = std::uniform_int_distribution<int>(0, 9)(random);
            if (op < (burst ? 8 : 3)) {
                Message m{"body" + std::to_string(serial), "sender" + std::to_string(serial)};
                ++serial;
                bool fits = waiting.size() < 500;
                ASSERT_EQ(q.Enqueue(m.first, m.second), fits) << "seed " << seed << " step " << step;
                if (fits)
                    waiting.push_back(m);
                else
                    ++refused;
            } else if (op < 7) {
                bool steps = waiting.size() >= 2;
                ASSERT_EQ(q.Next(), steps);
                if (steps)
                    waiting.pop_front();
            } else {
                bool dismisses = !waiting.empty();
                ASSERT_EQ(q.Dismiss(), dismisses);
                if (dismisses)
                    waiting.pop_front();
            }
            ASSERT_EQ(q.Waiting(), static_cast<int>(waiting.size()));
            ASSERT_EQ(q.CurrentBody(), waiting.empty() ? "" : waiting.front().first);
            ASSERT_EQ(q.CurrentSender(), waiting.empty() ? "" : waiting.front().second);
        }
        EXPECT_GT(q.ReceivedCount(), 1000) << "the run went well past 500 messages";
        EXPECT_GT(refused, 0) << "the run reached the limit";
        // Everything still waiting comes out in order.
        while (!waiting.empty()) {
            ASSERT_EQ(q.CurrentBody(), waiting.front().first);
            waiting.pop_front();
            q.Dismiss();
        }
    }
}

} // namespace
