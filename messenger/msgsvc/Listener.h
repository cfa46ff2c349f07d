#pragma once
// The network side of msgsvc.exe: one thread that accepts connections and runs every
// session with select(), so a slow or hostile peer never holds up another. Each session
// feeds its bytes to a protocol Receiver; completed messages go to the Deliver callback
// (called on the network thread; it must not block) with the peer's address. Connections
// from addresses that Allow=/Deny= shut out, or past the session limits, are closed at once.
#include "messenger/Receiver.h"
#include "messenger/msgsvc/ServiceConfig.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace lv::messenger {

class Listener {
  public:
    using Log = std::function<void(const std::string&)>;
    // The peer's IPv4 address (host order) and its message; false refuses it (ERRnoroom).
    using Deliver = std::function<bool(uint32_t peer, const Message&)>;

    Listener(ServiceConfig config, Deliver deliver, Log log);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Binds and listens, then runs the sessions on a thread of their own. False with the
    // reason in `error` when the address cannot be taken.
    bool Start(std::string& error);
    void Stop();

  private:
    void Run();

    ServiceConfig config_;
    Deliver deliver_;
    Log log_;
    uintptr_t listener_ = ~uintptr_t{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace lv::messenger
