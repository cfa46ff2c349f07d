#pragma once
// The presence query's ICMP messages, as bytes: the echo request it sends and the test an
// answer must pass before a friend is reported. No sockets here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace lv::presence {

constexpr size_t kEchoRequestSize = 20;
constexpr uint16_t kProbePort = 11282;

// The identifier every request of this process carries: the low 16 bits of its id.
constexpr uint16_t EchoIdentifier(uint32_t processId) {
    return static_cast<uint16_t>(processId & 0xFFFF);
}

// The Internet checksum (RFC 1071) of `bytes`: 16-bit words read low byte first (as the
// x86 machine holds them in memory), summed, folded, complemented. Stored back low byte
// first, it is right in network order on the wire. An odd last byte counts as a word
// whose high byte is zero.
uint16_t IcmpChecksum(std::span<const uint8_t> bytes);

// Type 8, code 0, checksum, identifier low byte first, sequence 0, then 12 zero bytes.
std::array<uint8_t, kEchoRequestSize> BuildEchoRequest(uint32_t processId);

// An IPv4 address as the four bytes that travel on the wire, first byte first.
using Ipv4Bytes = std::array<uint8_t, 4>;

// "a.b.c.d" in plain decimal, as inet_ntoa writes it.
std::string DottedQuad(const Ipv4Bytes& address);

// A datagram from a raw ICMP socket (IP header, then the ICMP message) that answers one of
// this process's requests: IPv4, an echo reply (type 0) carrying `identifier`, sent to
// `local` -- or to any address when `local` is 0.0.0.0, as for a socket bound to every
// address. Its source address when it is one; nothing for anything else, including
// datagrams too short for the headers they announce. Other hosts' echo requests, and
// the process's own requests when it probes its own address, are not answers.
std::optional<Ipv4Bytes> AcceptEchoReply(std::span<const uint8_t> datagram, uint16_t identifier,
                                         const Ipv4Bytes& local);

} // namespace lv::presence
