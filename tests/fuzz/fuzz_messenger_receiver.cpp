// The receiver fed arbitrary bytes from a peer, split at a point the input chooses.
#include "messenger/Receiver.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace lv::messenger;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte picks the chunk size, so splits are explored too; small limits make
    // the overflow paths reachable.
    size_t chunk = data[0] % 16 + 1;
    std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    ReceiverLimits limits;
    if (data[0] & 0x80)
        limits.maxTextBytes = 300;
    if (data[0] & 0x40)
        limits.maxFrameBytes = 600;
    size_t delivered = 0;
    Receiver receiver(
        [&](const Message& m) {
            // Whatever comes out respects the limits and the line-break rules.
            if (m.text.size() > limits.maxTextBytes)
                abort();
            for (size_t i = 0; i < m.text.size(); ++i)
                if (m.text[i] == '\x14' || (m.text[i] == '\n' && (i == 0 || m.text[i - 1] != '\r')))
                    abort();
            if (!m.text.empty() && m.text.back() == '\0')
                abort();
            ++delivered;
            return (delivered & 1) != 0;
        },
        limits);
    std::string reply;
    bool open = true;
    for (size_t at = 0; at < input.size() && open; at += chunk) {
        open = receiver.Feed(input.substr(at, chunk), reply);
        // Replies are whole frames the peer can read back.
        std::string_view view = reply;
        FrameReader frames(kSessionHeaderBytes + kMaxSessionPayload);
        std::string frame;
        while (frames.Next(view, frame) == FrameReader::Result::kFrame) {
        }
        if (frames.Pending() != 0)
            abort();
        reply.clear();
    }
    if (!open && receiver.Feed("\x85\0\0\0", reply))
        abort();
    return 0;
}
