#pragma once
// The presence query: one ICMP echo request to every friend, and a status line for every
// answer that comes back within the answer window. The main thread sends and times the
// query while it keeps the windows alive. Requests go through a raw ICMP socket, whose
// answers a worker of the query receives; where the raw socket is refused (no
// administrator rights) through the ICMP helper (IcmpSendEcho2), on a worker of its own.
// Friends recorded by computer name are looked up on workers during the query.
#include <winsock2.h>

#include "framework/Timer.h"
#include "hub/MainHub.h"

#include <functional>
#include <optional>
#include <string>
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

// Where the request for a friend recorded by address goes: the text read by the one address
// rule (framework/Ipv4.h; "192.168.000.010" is 192.168.0.10). Nothing for a computer name
// (looked up first), an empty text, the all-ones address and a multicast group: the query
// never broadcasts.
std::optional<in_addr> EchoDestination(std::string_view address);

// One echo request of this process to `address` over `socket`: sendto's result, or
// SOCKET_ERROR when the address has no destination and nothing was sent.
int SendEchoRequest(SOCKET socket, std::string_view address);

// The first IPv4 address of the local host name.
std::optional<in_addr> FirstLocalAddress();

// Tests: stand-ins for the raw sockets (both the controller's and the receiver's; an
// INVALID_SOCKET with WSAGetLastError set is a refusal), the address the receiver binds to
// (every address of the machine, 0.0.0.0, unless a test says otherwise), IcmpCreateFile
// (INVALID_HANDLE_VALUE: no helper either) and the lookup of a computer name (GBK; runs on
// a lookup worker). Empty members (and ProbeHooks{}) bring the real ones back.
struct ProbeHooks {
    std::function<SOCKET()> openSocket;
    std::function<std::optional<in_addr>()> localAddress;
    std::function<HANDLE()> openHelper;
    std::function<std::optional<in_addr>(const std::string& gbkName)> resolveName;
};
void SetProbeHooks(ProbeHooks hooks);

} // namespace lv::presence
