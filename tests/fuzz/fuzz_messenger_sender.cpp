// The sender fed arbitrary reply bytes: it must end in a defined state, and report success
// only after a whole conversation.
#include "messenger/Sender.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace lv::messenger;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    bool session = data[0] & 1;
    size_t chunk = (data[0] >> 1) % 32 + 1;
    std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string text = "你好，世界\r\n第二行";
    text += std::string((data[0] >> 6) * 100, 'x'); // one to four blocks
    Sender sender(SendRequest{"张三", "LUMIVALE", text, session, "FUZZ"});
    std::string out = sender.Connected();
    int connections = 1;
    size_t requests = 1;
    for (size_t at = 0; at < input.size() && !sender.Done(); at += chunk) {
        out.clear();
        Sender::Step step = sender.Feed(input.substr(at, chunk), out);
        if (!out.empty())
            ++requests;
        if (step == Sender::Step::kReconnect) {
            if (++connections > 2)
                abort();
            out = sender.Connected();
        }
    }
    if (sender.Done() && sender.Status() == status::kSuccess && requests < 3)
        abort(); // D5 answered, at least one D7 and the D6 sent after it
    sender.Fail(status::kNetworkError);
    if (!sender.Done())
        abort();
    return 0;
}
