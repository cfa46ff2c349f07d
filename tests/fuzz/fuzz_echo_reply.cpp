// Datagrams from the network reach the presence query's answer test; whatever they hold,
// it reads only inside them and accepts only what it promises to.
#include "presence/EchoPacket.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6)
        return 0;
    const uint16_t identifier = static_cast<uint16_t>(data[0] | (data[1] << 8));
    const lv::presence::Ipv4Bytes local{data[2], data[3], data[4], data[5]};
    // An exact-size copy, so that any read past the end is caught.
    std::vector<uint8_t> datagram(data + 6, data + size);
    auto source = lv::presence::AcceptEchoReply(datagram, identifier, local);
    if (source) {
        const size_t header = static_cast<size_t>(datagram[0] & 0x0F) * 4;
        // Bound to every address (0.0.0.0): a reply to any local address counts.
        const bool anyLocal = std::all_of(local.begin(), local.end(), [](uint8_t b) { return b == 0; });
        const bool sound = (datagram[0] >> 4) == 4 && header >= 20 &&
                           datagram.size() >= header + 8 && datagram[header] == 0 &&
                           (datagram[header + 4] | (datagram[header + 5] << 8)) == identifier &&
                           (anyLocal || std::equal(local.begin(), local.end(), datagram.begin() + 16)) &&
                           std::equal(source->begin(), source->end(), datagram.begin() + 12);
        if (!sound)
            std::abort();
    }
    // A message that carries its own checksum sums to zero.
    if (datagram.size() >= 4) {
        std::vector<uint8_t> message = datagram;
        message[2] = message[3] = 0;
        uint16_t sum = lv::presence::IcmpChecksum(message);
        message[2] = static_cast<uint8_t>(sum & 0xFF);
        message[3] = static_cast<uint8_t>(sum >> 8);
        if (message.size() % 2 == 0 && lv::presence::IcmpChecksum(message) != 0)
            std::abort();
    }
    return 0;
}
