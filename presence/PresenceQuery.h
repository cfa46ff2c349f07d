#pragma once
// The presence query: one ICMP echo request to every friend, and a status line for every
// answer that comes back within the answer window. The main thread sends and times the
// query while it keeps the windows alive; a worker of its own receives the answers.
#include <winsock2.h>

#include "framework/Timer.h"
#include "hub/MainHub.h"

#include <functional>
#include <optional>
#include <string_view>

namespace lv::presence {

// What the query uses of the main window.
struct QueryWindow {
    MainHub& hub;
    // The delay timer: the query gives it a handler for each of its waits.
    TTimer& tmDelay;
    // btStatus, mnStatus and btClear together: off while the query runs.
    std::function<void(bool enabled)> enableCommands;
};

// Main thread: the whole query (about 8 s plus 20 ms a friend); returns when it is over,
// or soon after the program has been told to end. A call while a query runs does nothing.
void RunQuery(const QueryWindow& window);

// Where the request for a friend's address text goes: the text read by the one address
// rule (framework/Ipv4.h; "192.168.000.010" is 192.168.0.10). Nothing for a computer name,
// an empty text and the all-ones address: the query never broadcasts.
std::optional<in_addr> EchoDestination(std::string_view address);

// One echo request of this process to `address` over `socket`: sendto's result, or
// SOCKET_ERROR when the address has no destination and nothing was sent.
int SendEchoRequest(SOCKET socket, std::string_view address);

// The first IPv4 address of the local host name.
std::optional<in_addr> FirstLocalAddress();

// Tests: stand-ins for the worker's socket and the address it binds to (every address of
// the machine, 0.0.0.0, unless a test says otherwise); empty members (and ProbeHooks{})
// bring the real ones back.
struct ProbeHooks {
    std::function<SOCKET()> openSocket;
    std::function<std::optional<in_addr>()> localAddress;
};
void SetProbeHooks(ProbeHooks hooks);

} // namespace lv::presence
