#include "send/SendFailureText.h"

#include <gtest/gtest.h>

using namespace lv;
using namespace lv::messenger;

namespace {

constexpr uint32_t kNetworkError = 2136, kNameNotFound = 2273, kBadReceive = 2282;

SendResult Why(SendFailure failure, uint32_t status = kNetworkError) {
    SendResult r;
    r.status = status;
    r.failure = failure;
    r.port = 139;
    r.fallbackPort = 1139;
    return r;
}

bool StartsWith(const std::string& line, const std::string& start) {
    return line.rfind(start, 0) == 0;
}

} // namespace

TEST(SendReason, TheMostTellingTryIsReported) {
    // 139 held by NetBIOS, 1139 dropped: the computer is on, and the port that matters
    // does not answer -- a firewall, not "no messenger".
    SendResult r =
        AtAddress({Why(SendFailure::kNotMessenger, kNameNotFound), Why(SendFailure::kNoAnswer)});
    EXPECT_EQ(r.failure, SendFailure::kNoAnswer);
    EXPECT_TRUE(r.computerOn);
    EXPECT_EQ(r.status, kNetworkError);
    // Both silent: nothing says the computer is on.
    r = AtAddress({Why(SendFailure::kNoAnswer), Why(SendFailure::kNoAnswer)});
    EXPECT_FALSE(r.computerOn);
    // NetBIOS on one, nothing listening on the other: the messenger is not running.
    EXPECT_EQ(
        AtAddress({Why(SendFailure::kNotMessenger, kNameNotFound), Why(SendFailure::kRefused)})
            .failure,
        SendFailure::kRefused);
    // A messenger's own answer beats what the other port met.
    r = AtAddress({Why(SendFailure::kRefused), Why(SendFailure::kPeerRefused, kBadReceive)});
    EXPECT_EQ(r.failure, SendFailure::kPeerRefused);
    EXPECT_EQ(r.status, kBadReceive);

    // A VPN adapter's address first, then the PC's own, which refuses: the PC is reported.
    EXPECT_EQ(AcrossAddresses({Why(SendFailure::kNoAnswer), Why(SendFailure::kRefused)}).failure,
              SendFailure::kRefused);
    // Equals: the first in the resolver's order.
    SendResult first = Why(SendFailure::kRefused);
    first.status = 1;
    EXPECT_EQ(AcrossAddresses({first, Why(SendFailure::kRefused)}).status, 1u);
    // No address tried in time.
    EXPECT_EQ(AcrossAddresses({}).failure, SendFailure::kNoAnswer);
}

TEST(SendFailureLine, EachFailureSaysWhyAndWhatToDo) {
    EXPECT_EQ(SendFailureLine(SendResult{}, "192.168.0.7", 5), "");
    EXPECT_EQ(SendFailureLine(Why(SendFailure::kRefused), "192.168.0.7", 5), kRefusedText);

    std::string silent = SendFailureLine(Why(SendFailure::kNoAnswer), "192.168.0.7", 5);
    EXPECT_TRUE(StartsWith(silent, "对方没有应答")) << silent;
    EXPECT_NE(silent.find("TCP端口1139和139"), std::string::npos) << silent;
    SendResult on = Why(SendFailure::kNoAnswer);
    on.computerOn = true;
    std::string firewalled = SendFailureLine(on, "192.168.0.7", 5);
    EXPECT_TRUE(StartsWith(firewalled, "对方没有应答：对方电脑开着")) << firewalled;
    // A port set by hand, without fallback: that port is the one to open.
    SendResult own = Why(SendFailure::kNoAnswer);
    own.port = 1140;
    own.fallbackPort = 0;
    EXPECT_NE(SendFailureLine(own, "x", 1).find("TCP端口1140的"), std::string::npos);

    for (SendFailure f :
         {SendFailure::kNameNotFound, SendFailure::kLookupTimeout, SendFailure::kBadAddress}) {
        std::string line = SendFailureLine(Why(f, kNameNotFound), "张三的电脑", 5);
        EXPECT_TRUE(StartsWith(line, "找不到计算机名“张三的电脑”")) << line;
    }
    EXPECT_NE(SendFailureLine(Why(SendFailure::kLookupTimeout), "pc", 1).find("超时"),
              std::string::npos);

    EXPECT_TRUE(StartsWith(SendFailureLine(Why(SendFailure::kNotMessenger), "x", 1),
                           "对方电脑应答了，但应答的不是信使服务"));
    EXPECT_TRUE(StartsWith(SendFailureLine(Why(SendFailure::kNoReply), "x", 1), "对方没有应答"));
    EXPECT_NE(SendFailureLine(Why(SendFailure::kUnconfirmed), "x", 1).find("可能已经看到"),
              std::string::npos);
}

TEST(SendFailureLine, AMessengersRefusalIsNamedByWhatItRefused) {
    auto refused = [](uint8_t cls, uint16_t code, SendPhase phase) {
        SendResult r = Why(SendFailure::kPeerRefused, kBadReceive);
        r.smbStatus = cls | (static_cast<uint32_t>(code) << 16);
        r.phase = phase;
        return SendFailureLine(r, "x", 10);
    };
    EXPECT_EQ(refused(2, 83, SendPhase::kText), kNotTakenText);
    EXPECT_TRUE(StartsWith(kNotTakenText, "对方的信息太多，暂时不收"));
    EXPECT_TRUE(StartsWith(refused(2, 83, SendPhase::kNames), "对方不接受这个发送者名或收信人名"));
    EXPECT_TRUE(StartsWith(refused(1, 71, SendPhase::kText), "对方不接受这条信息的内容"));
    EXPECT_TRUE(StartsWith(refused(2, 81, SendPhase::kNames), "对方的信使服务暂停了"));
    EXPECT_NE(refused(2, 99, SendPhase::kText).find("0x00630002"), std::string::npos);

    // A send function that leaves no reason: its status alone decides.
    EXPECT_EQ(SendFailureLine(SendResult{kBadReceive}, "x", 10), kNotTakenText);
    EXPECT_EQ(SendFailureLine(SendResult{87}, "x", 4097), kTooLongText);
    EXPECT_NE(SendFailureLine(SendResult{59}, "x", 1).find("59"), std::string::npos);
}
