#include "presence/EchoPacket.h"

namespace lv::presence {
namespace {

constexpr uint8_t kEchoRequest = 8;
constexpr uint8_t kEchoReply = 0;
constexpr size_t kMinIpHeader = 20;
constexpr size_t kEchoHeader = 8;

} // namespace

uint16_t IcmpChecksum(std::span<const uint8_t> bytes) {
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2)
        sum += static_cast<uint32_t>(bytes[i] | (bytes[i + 1] << 8));
    if (i < bytes.size())
        sum += bytes[i];
    // Twice: the first fold can carry once more. The sum of 32 767 words cannot overflow
    // 32 bits, and no caller comes near that.
    sum = (sum >> 16) + (sum & 0xFFFF);
    sum += sum >> 16;
    return static_cast<uint16_t>(~sum & 0xFFFF);
}

std::array<uint8_t, kEchoRequestSize> BuildEchoRequest(uint32_t processId) {
    std::array<uint8_t, kEchoRequestSize> message{};
    const uint16_t identifier = EchoIdentifier(processId);
    message[0] = kEchoRequest;
    message[1] = 0;
    message[4] = static_cast<uint8_t>(identifier & 0xFF);
    message[5] = static_cast<uint8_t>(identifier >> 8);
    // Sequence 0 and zero data: the header's checksum is the whole message's.
    const uint16_t checksum = IcmpChecksum(std::span<const uint8_t>(message.data(), kEchoHeader));
    message[2] = static_cast<uint8_t>(checksum & 0xFF);
    message[3] = static_cast<uint8_t>(checksum >> 8);
    return message;
}

std::string DottedQuad(const Ipv4Bytes& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
           std::to_string(address[2]) + "." + std::to_string(address[3]);
}

std::optional<Ipv4Bytes> AcceptEchoReply(std::span<const uint8_t> datagram, uint16_t identifier,
                                         const Ipv4Bytes& local) {
    if (datagram.size() < kMinIpHeader)
        return std::nullopt;
    if ((datagram[0] >> 4) != 4)
        return std::nullopt;
    // The header announces its own length (options make it longer than 20 bytes); the ICMP
    // message starts behind it.
    const size_t headerLength = static_cast<size_t>(datagram[0] & 0x0F) * 4;
    if (headerLength < kMinIpHeader || datagram.size() < headerLength + kEchoHeader)
        return std::nullopt;
    const uint8_t* icmp = datagram.data() + headerLength;
    if (icmp[0] != kEchoReply)
        return std::nullopt;
    if ((icmp[4] | (icmp[5] << 8)) != identifier)
        return std::nullopt;
    const bool anyLocal = local == Ipv4Bytes{0, 0, 0, 0};
    for (size_t i = 0; i < 4 && !anyLocal; ++i)
        if (datagram[16 + i] != local[i])
            return std::nullopt;
    return Ipv4Bytes{datagram[12], datagram[13], datagram[14], datagram[15]};
}

} // namespace lv::presence
