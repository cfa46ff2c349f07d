#pragma once
// What Lumivale writes in the status area when messages cannot reach msgsvc.exe: which
// address and port could not be used, or that Windows Firewall stops them, why in plain
// words, and where the fix is described. Portable so that every wording can be tested
// without Windows; the facts come from ServiceCheck.h and FirewallPolicy.h.
#include "messenger/Firewall.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lv::messenger {

// Why a port could not be used.
namespace why {
constexpr int kNoAnswer = -1;     // msgsvc.exe never answered there and the reason is unknown
constexpr int kOtherHolder = 0;   // something else answers on it (a bind of our own succeeds)
constexpr int kInUse = 10048;     // WSAEADDRINUSE
constexpr int kNoRight = 10013;   // WSAEACCES
constexpr int kNoAddress = 10049; // WSAEADDRNOTAVAIL
} // namespace why

struct PortFacts {
    uint16_t port = 0;           // 0: none (no fallback configured)
    bool reached = true;         // a message sent to this machine on this port reaches msgsvc.exe
    std::string address;         // where it was not reached
    int reason = why::kNoAnswer; // a why:: value or another Winsock error code
};

// The firewall's verdict and what its wording names, as GBK text.
struct FirewallFacts {
    firewall::Verdict verdict;
    std::string program;         // msgsvc.exe's full path
    std::string otherPath;       // verdict.otherPath
    std::vector<uint16_t> ports; // the ports the rule must open, as msgsvc.ini sets them
};

struct ServiceFacts {
    std::string badAddress; // msgsvc.ini's Address as written, when it is no IPv4 address
    PortFacts port, fallback;
    FirewallFacts firewall;
    // Port 139 held with the fallback receiving has been told for this installation
    // (Lumivale.ini [Service] Port139Told).
    bool port139Told = false;
};

// Port 139 held (on Windows by NetBIOS) while msgsvc.exe receives on the fallback: how a
// Windows PC is by default, so it is said the first time it is found and never again. A
// port that cannot be used at all, or one set by hand, is said at every start.
bool Port139HeldAsUsual(const ServiceFacts& facts);

// GBK lines for the status area; none when messages arrive and the firewall lets them in
// (or cannot be read).
std::vector<std::string> ServiceProblemLines(const ServiceFacts& facts);

} // namespace lv::messenger
