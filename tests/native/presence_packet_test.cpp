#include "presence/EchoPacket.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using lv::presence::AcceptEchoReply;
using lv::presence::BuildEchoRequest;
using lv::presence::IcmpChecksum;
using lv::presence::Ipv4Bytes;
using Bytes = std::vector<uint8_t>;

uint16_t Checksum(const Bytes& bytes) {
    return IcmpChecksum(bytes);
}

TEST(IcmpChecksum, Rfc1071ExampleAndFolding) {
    // RFC 1071's example sums to ddf2 in network order; read low byte first the same sum
    // comes out byte-swapped, so the stored checksum bytes are 22 0d.
    Bytes rfc{0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
    EXPECT_EQ(Checksum(rfc), 0x0d22);

    EXPECT_EQ(Checksum(Bytes(8, 0)), 0xffff);
    // ffff + ffff + 0001 = 1ffff: the first fold gives 10000, the second 0001.
    EXPECT_EQ(Checksum({0xff, 0xff, 0xff, 0xff, 0x01, 0x00}), 0xfffe);
    // ffff three times: 2fffd folds to ffff, whose complement is 0.
    EXPECT_EQ(Checksum(Bytes(6, 0xff)), 0x0000);
    // An odd last byte is the low byte of a word.
    EXPECT_EQ(Checksum({0x01}), 0xfffe);
    EXPECT_EQ(Checksum({0x00, 0x00, 0x01}), 0xfffe);

    // A message that carries its checksum sums to zero, whatever it holds.
    Bytes message{0x45, 0x13, 0x00, 0x00, 0x9a, 0xbc, 0xff, 0x01, 0x7e, 0x80};
    uint16_t sum = Checksum(message);
    message[2] = static_cast<uint8_t>(sum & 0xff);
    message[3] = static_cast<uint8_t>(sum >> 8);
    EXPECT_EQ(Checksum(message), 0);
}

TEST(EchoRequest, DocumentedBytesAndIdentifierFromTheLow16BitsOfTheProcessId) {
    auto request = BuildEchoRequest(0x1234);
    Bytes expected{0x08, 0x00, 0xc3, 0xed, 0x34, 0x12};
    expected.resize(20, 0);
    EXPECT_EQ(Bytes(request.begin(), request.end()), expected);

    // 70000 = 0x11170: identifier 0x1170, stored 70 11.
    request = BuildEchoRequest(70000);
    EXPECT_EQ(lv::presence::EchoIdentifier(70000), 0x1170);
    expected = {0x08, 0x00, 0x87, 0xee, 0x70, 0x11};
    expected.resize(20, 0);
    EXPECT_EQ(Bytes(request.begin(), request.end()), expected);

    // Valid on the wire for any process id: the whole message sums to zero.
    for (uint32_t pid : {0u, 1u, 0xffffu, 0x10000u, 0xfffefdfcu, 4242u})
        EXPECT_EQ(IcmpChecksum(BuildEchoRequest(pid)), 0) << pid;
}

const Ipv4Bytes kLocal{192, 0, 2, 2};
const Ipv4Bytes kPeer{127, 0, 0, 9};

// An IPv4 datagram carrying an ICMP message, as a raw socket hands it over.
Bytes Datagram(uint8_t type, uint16_t identifier, Ipv4Bytes source = kPeer,
               Ipv4Bytes destination = kLocal, int headerWords = 5) {
    Bytes d(static_cast<size_t>(headerWords) * 4, 0);
    d[0] = static_cast<uint8_t>(0x40 | headerWords);
    d[9] = 1; // ICMP
    std::copy(source.begin(), source.end(), d.begin() + 12);
    std::copy(destination.begin(), destination.end(), d.begin() + 16);
    Bytes icmp{type,
               0,
               0,
               0,
               static_cast<uint8_t>(identifier & 0xff),
               static_cast<uint8_t>(identifier >> 8),
               0,
               0};
    icmp.resize(20, 0);
    d.insert(d.end(), icmp.begin(), icmp.end());
    return d;
}

Bytes Prefix(const Bytes& d, size_t n) {
    return Bytes(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(n));
}

TEST(EchoReply, OnlyThisProcesssRepliesSentToTheLocalAddressAreAccepted) {
    const uint16_t id = 0x1234;
    auto accepted = AcceptEchoReply(Datagram(0, id), id, kLocal);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(*accepted, kPeer);
    EXPECT_EQ(lv::presence::DottedQuad(*accepted), "127.0.0.9");
    EXPECT_EQ(lv::presence::DottedQuad({192, 168, 0, 5}), "192.168.0.5");
    EXPECT_EQ(lv::presence::DottedQuad({255, 0, 10, 100}), "255.0.10.100");

    // A process id above 65535 answers to its low 16 bits.
    EXPECT_TRUE(AcceptEchoReply(Datagram(0, 0x1170), lv::presence::EchoIdentifier(70000), kLocal));

    struct Case {
        const char* what;
        Bytes datagram;
    } rejected[] = {
        {"another process's identifier", Datagram(0, 0x3412)},
        {"sent to another address", Datagram(0, id, kPeer, {127, 0, 0, 1})},
        // Probing one's own address delivers the request as well as the reply.
        {"an echo request, this process's own", Datagram(8, id, kLocal, kLocal)},
        {"destination unreachable", Datagram(3, id)},
        {"IPv6 version field",
         [&] {
             Bytes d = Datagram(0, id);
             d[0] = 0x65;
             return d;
         }()},
        {"header length below 20", Datagram(0, id, kPeer, kLocal, 4)},
        {"empty", {}},
        {"shorter than an IP header", Prefix(Datagram(0, id), 19)},
        {"IP header only", Prefix(Datagram(0, id), 20)},
        {"ICMP header cut", Prefix(Datagram(0, id), 27)},
    };
    for (const Case& c : rejected)
        EXPECT_FALSE(AcceptEchoReply(c.datagram, id, kLocal)) << c.what;

    // The shortest acceptable answer: both headers, no data.
    EXPECT_TRUE(AcceptEchoReply(Prefix(Datagram(0, id), 28), id, kLocal));
}

// The worker's socket is bound to every address: a reply counts whichever local address it
// arrived on (a VPN or loopback adapter may come first), and still only a reply of ours.
TEST(EchoReply, BoundToEveryAddressAReplyToAnyLocalAddressCounts) {
    const uint16_t id = 0x1234;
    const Ipv4Bytes kAny{0, 0, 0, 0};
    for (Ipv4Bytes arrivedOn : {kLocal, Ipv4Bytes{127, 0, 0, 1}, Ipv4Bytes{10, 8, 0, 6}}) {
        auto accepted = AcceptEchoReply(Datagram(0, id, kPeer, arrivedOn), id, kAny);
        ASSERT_TRUE(accepted) << lv::presence::DottedQuad(arrivedOn);
        EXPECT_EQ(*accepted, kPeer);
    }
    EXPECT_FALSE(AcceptEchoReply(Datagram(0, 0x3412, kPeer, kLocal), id, kAny));
    EXPECT_FALSE(AcceptEchoReply(Datagram(8, id, kLocal, kLocal), id, kAny));
    EXPECT_FALSE(AcceptEchoReply(Prefix(Datagram(0, id), 27), id, kAny));
}

TEST(EchoReply, AHeaderWithOptionsMovesTheIcmpMessage) {
    const uint16_t id = 0x1234;
    EXPECT_TRUE(AcceptEchoReply(Datagram(0, id, kPeer, kLocal, 6), id, kLocal));
    // 28 and 60 bytes of IP header: the reply starts behind them.
    for (int words : {7, 15}) {
        SCOPED_TRACE(words);
        Bytes d = Datagram(0, id, kPeer, kLocal, words);
        EXPECT_TRUE(AcceptEchoReply(d, id, kLocal));
        // Where a fixed 20-byte header would look, an echo request of another identifier.
        d[20] = 8;
        d[24] = 0x99;
        EXPECT_TRUE(AcceptEchoReply(d, id, kLocal));
        // The identifier is read behind the options.
        d[static_cast<size_t>(words) * 4 + 4] ^= 1;
        EXPECT_FALSE(AcceptEchoReply(d, id, kLocal));
        // Cut inside the ICMP header behind the options.
        EXPECT_FALSE(AcceptEchoReply(Prefix(d, static_cast<size_t>(words) * 4 + 7), id, kLocal));
    }
    // Fixed at 20 bytes, this one would be accepted from the option bytes.
    Bytes trap = Datagram(3, 0, kPeer, kLocal, 7);
    trap[20] = 0;
    trap[24] = 0x34;
    trap[25] = 0x12;
    EXPECT_FALSE(AcceptEchoReply(trap, id, kLocal));
}

} // namespace
