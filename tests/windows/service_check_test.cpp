// The probe that tells whether a message sent to this machine reaches msgsvc.exe, against
// what can hold a port: a messenger, NetBIOS without one, a program that never answers.
#include "messenger/ServiceCheck.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "LoopbackListener.h"

namespace {

using namespace lv::messenger;
using lvtest::LoopbackListener;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kLoopback = 0x7F000001;

TEST(ServiceCheck, OnlyAMessengerCountsAndABindSaysWhyNot) {
    LoopbackListener messenger(lvtest::ReceiverServe([](const Message&) { return false; }));
    LoopbackListener netbios(lvtest::NetBiosWithoutMessenger());
    LoopbackListener silent([](SOCKET, const std::atomic<bool>& stop) {
        auto end = Clock::now() + std::chrono::seconds(3);
        while (!stop && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    EXPECT_TRUE(MessengerAnswers(kLoopback, messenger.port(), 1000));
    EXPECT_FALSE(MessengerAnswers(kLoopback, netbios.port(), 1000));
    auto start = Clock::now();
    EXPECT_FALSE(MessengerAnswers(kLoopback, silent.port(), 300));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));

    // Held by another program: the probe fails and the bind names the reason.
    PortFacts held = ProbePort({kLoopback}, kLoopback, silent.port(), true);
    EXPECT_FALSE(held.reached);
    EXPECT_EQ(held.address, "127.0.0.1");
    EXPECT_EQ(held.reason, why::kInUse);
    EXPECT_TRUE(ProbePort({kLoopback}, kLoopback, messenger.port(), true).reached);

    uint16_t freed;
    {
        LoopbackListener gone([](SOCKET, const std::atomic<bool>&) {});
        freed = gone.port();
    }
    EXPECT_FALSE(MessengerAnswers(kLoopback, freed, 1000));
    EXPECT_EQ(BindError(kLoopback, freed), 0);
    PortFacts unasked = ProbePort({kLoopback}, kLoopback, freed, false);
    EXPECT_FALSE(unasked.reached);
    EXPECT_EQ(unasked.reason, why::kNoAnswer);
}

} // namespace
