#include "presence/ProbeRules.h"

#include <gtest/gtest.h>

namespace {

using lv::presence::AnswerBook;
using lv::presence::ChooseProbeWay;
using lv::presence::ClassifyAddress;
using lv::presence::ProbeFacts;
using lv::presence::ProbeWay;
using Kind = lv::presence::ProbeTarget::Kind;

constexpr int kWsaEacces = 10013;
constexpr int kWsaEprotonosupport = 10043;

TEST(ProbeTarget, AddressesNamesAndTextsThatAreNeither) {
    struct Case {
        const char* text;
        Kind kind;
        uint32_t address;
    };
    const Case cases[] = {
        {"127.0.0.1", Kind::Address, 0x7F000001},
        {"192.168.000.010", Kind::Address, 0xC0A8000A},
        {"PC-WANG", Kind::ComputerName, 0},
        {"王的电脑", Kind::ComputerName, 0},
        {"pc-wang.office.example", Kind::ComputerName, 0},
        // Nothing a name lookup could read as an address the user never typed.
        {"10.1", Kind::Nothing, 0},
        {"010", Kind::Nothing, 0},
        {"1.2.3.256", Kind::Nothing, 0},
        {"1.2.3.4.", Kind::Nothing, 0},
        {"", Kind::Nothing, 0},
        // Many machines would answer: the query never sends there.
        {"255.255.255.255", Kind::Nothing, 0},
        {"224.0.0.1", Kind::Nothing, 0},
        {"239.255.255.250", Kind::Nothing, 0},
        {"223.255.255.255", Kind::Address, 0xDFFFFFFF},
        {"240.0.0.1", Kind::Address, 0xF0000001},
    };
    for (const Case& c : cases) {
        lv::presence::ProbeTarget target = ClassifyAddress(c.text);
        EXPECT_EQ(target.kind, c.kind) << c.text;
        EXPECT_EQ(target.address, c.address) << c.text;
    }
    // A name may resolve to such an address too.
    EXPECT_FALSE(lv::presence::MayProbe(0xFFFFFFFF));
    EXPECT_FALSE(lv::presence::MayProbe(0xE00000FB));
    EXPECT_TRUE(lv::presence::MayProbe(0x7F000017));
}

TEST(ProbeWay, TheHelperWhereverTheRawSocketIsRefusedAndTheBoxOnlyWhenItFailsToo) {
    using Helper = lv::presence::HelperOutcome;
    // An administrator's (elevated) process: the raw socket, the helper never asked.
    EXPECT_EQ(ChooseProbeWay({}), ProbeWay::RawSocket);
    // A standard user, or an administrator without elevation: WSAEACCES for the socket.
    EXPECT_EQ(ChooseProbeWay({kWsaEacces, 0, std::nullopt}), ProbeWay::IcmpHelper);
    // Its requests answered, timed out or unreachable, or nothing asked of it (no friends).
    EXPECT_EQ(ChooseProbeWay({kWsaEacces, 0, Helper{true, 0, 3}}), ProbeWay::IcmpHelper);
    EXPECT_EQ(ChooseProbeWay({kWsaEacces, 0, Helper{true, 0, 0}}), ProbeWay::IcmpHelper);
    // Some refused beside some taken is no refusal of the helper.
    EXPECT_EQ(ChooseProbeWay({kWsaEacces, 0, Helper{true, 2, 1}}), ProbeWay::IcmpHelper);
    // No handle, or (as Wine does for a user without ping sockets) every request refused.
    EXPECT_EQ(ChooseProbeWay({kWsaEacces, 0, Helper{false, 0, 0}}), ProbeWay::Neither);
    EXPECT_EQ(ChooseProbeWay({kWsaEacces, 0, Helper{true, 3, 0}}), ProbeWay::Neither);
    // The sending socket opened but the receiver's did not: nobody would hear the answers.
    EXPECT_EQ(ChooseProbeWay({0, kWsaEacces, std::nullopt}), ProbeWay::IcmpHelper);
    // A stack without raw ICMP: the helper does not depend on it.
    EXPECT_EQ(ChooseProbeWay({kWsaEprotonosupport, kWsaEprotonosupport, Helper{true, 0, 1}}),
              ProbeWay::IcmpHelper);
    // The helper's own outcome does not matter while the raw socket works.
    EXPECT_EQ(ChooseProbeWay({0, 0, Helper{false, 0, 0}}), ProbeWay::RawSocket);

    // Refusals of the helper itself, not of one destination.
    EXPECT_TRUE(lv::presence::HelperRefusal(5));      // ERROR_ACCESS_DENIED
    EXPECT_TRUE(lv::presence::HelperRefusal(50));     // ERROR_NOT_SUPPORTED
    EXPECT_FALSE(lv::presence::HelperRefusal(1231));  // ERROR_NETWORK_UNREACHABLE
    EXPECT_FALSE(lv::presence::HelperRefusal(1232));  // ERROR_HOST_UNREACHABLE
    EXPECT_FALSE(lv::presence::HelperRefusal(11010)); // IP_REQ_TIMED_OUT
    EXPECT_FALSE(lv::presence::HelperRefusal(8));     // ERROR_NOT_ENOUGH_MEMORY
}

constexpr uint32_t kLoopback = 0x7F000001;
constexpr uint32_t kOther = 0x7F000017;

TEST(AnswerBook, AnswersFromOneAddressGoToItsRequestsInTheOrderSent) {
    // A friend recorded by address and one by a name that resolved to the same address:
    // two requests, two answers that look alike on a raw socket; each friend gets one.
    AnswerBook book;
    EXPECT_EQ(book.Sent(kLoopback, "127.0.0.1", Kind::Address), 0u);
    EXPECT_EQ(book.Sent(kLoopback, "PC-WANG", Kind::ComputerName), 1u);
    EXPECT_EQ(book.Sent(kOther, "127.0.0.023", Kind::Address), 2u);
    EXPECT_EQ(book.Answered(kLoopback), "127.0.0.1");
    EXPECT_EQ(book.Answered(kLoopback), "PC-WANG");
    // More answers than requests (the same request answered twice, someone else's echo):
    // the answer's own text, which names the first friend at that text or nobody.
    EXPECT_EQ(book.Answered(kLoopback), "127.0.0.1");
    // A friend recorded by address keeps being reported by the answer's text: the padded
    // entry is probed but not reported under its name.
    EXPECT_EQ(book.Answered(kOther), "127.0.0.23");
    EXPECT_EQ(book.Answered(0x0A000005), "10.0.0.5");
}

TEST(AnswerBook, AnAnswerKnownToBelongToARequestTakesThatOne) {
    // The helper knows which request an answer is for: the name's answer may come first.
    AnswerBook book;
    book.Sent(kLoopback, "127.0.0.1", Kind::Address);
    book.Sent(kLoopback, "PC-WANG", Kind::ComputerName);
    book.Sent(kLoopback, "PC-WANG", Kind::ComputerName);
    EXPECT_EQ(book.Answered(kLoopback, 2), "PC-WANG");
    EXPECT_EQ(book.Answered(kLoopback, 0), "127.0.0.1");
    // An answer from another address than its request's is matched by its address.
    EXPECT_EQ(book.Answered(kLoopback, 7), "PC-WANG");
    EXPECT_EQ(book.Answered(kOther, 1), "127.0.0.23");
}

} // namespace
