#pragma once
// What Lumivale writes in the status area when messages cannot reach msgsvc.exe: which
// address and port could not be used, why in plain words, and where the fix is described.
// Portable so that every wording can be tested without Windows; the facts come from
// ServiceCheck.h.
#include <cstdint>
#include <string>
#include <vector>

namespace lv::messenger {

// Why a port could not be used.
namespace why {
constexpr int kNoAnswer = -1;   // msgsvc.exe never answered there and the reason is unknown
constexpr int kOtherHolder = 0; // something else answers on it (a bind of our own succeeds)
constexpr int kInUse = 10048;   // WSAEADDRINUSE
constexpr int kNoRight = 10013; // WSAEACCES
constexpr int kNoAddress = 10049; // WSAEADDRNOTAVAIL
} // namespace why

struct PortFacts {
    uint16_t port = 0;    // 0: none (no fallback configured)
    bool reached = true;  // a message sent to this machine on this port reaches msgsvc.exe
    std::string address;  // where it was not reached
    int reason = why::kNoAnswer; // a why:: value or another Winsock error code
};

struct ServiceFacts {
    std::string badAddress; // msgsvc.ini's Address as written, when it is no IPv4 address
    PortFacts port, fallback;
};

// GBK lines for the status area; none when messages arrive on the port.
std::vector<std::string> ServiceProblemLines(const ServiceFacts& facts);

} // namespace lv::messenger
