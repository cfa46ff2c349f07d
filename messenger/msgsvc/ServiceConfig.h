#pragma once
// msgsvc.ini ([Messenger] section beside msgsvc.exe) turned into the service's settings,
// and the name of the mutex that marks a running service for one address and port. Both
// msgsvc.exe and the launcher in Lumivale.exe read the file through here, so they agree
// on what "the same configuration" means.
#include "framework/Ipv4.h"
#include "messenger/Settings.h"
#include "messenger/msgsvc/AddressList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lv::messenger {

struct ServiceConfig {
    // Address and port as ReadMessengerSettings reads them; the address normalised
    // ("127.000.0.2" → "127.0.0.2").
    std::string address = MessengerSettings{}.address;
    uint16_t port = kDefaultPort;
    // Limits; see docs/msgsvc.md for why each has its value.
    int maxSessions = 128;    // open connections; more are closed at once
    int idleSeconds = 30;     // a session silent this long is closed
    int sessionSeconds = 120; // no session lives longer, however busy
    int maxPopups = 500;      // pop-ups open at once; more are refused with ERRnoroom
    // The share of one peer address, so that one address cannot lock the others out.
    int maxSessionsPerPeer = 8;
    int maxPopupsPerPeer = 50;
    PeerAccess access; // Allow= and Deny=
    std::string log;   // file (beside the exe unless absolute) for an event log
    bool notify = true; // tell a running Lumivale of each ready pop-up (Notify=0: no)
    std::string error; // non-empty: the file is unusable, the text says why
    // Also listened on, when it can be had (MessengerSettings::fallbackPort; 0: none).
    uint16_t fallbackPort = kFallbackPort;
};

ServiceConfig ReadServiceConfig(std::string_view iniBytes);

// "LumivaleMessengerService 127.0.0.2:1139": one service per address and port.
std::string ServiceMutexName(const ServiceConfig& config);

} // namespace lv::messenger
