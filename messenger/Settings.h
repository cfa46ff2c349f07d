#pragma once
// Where the Messenger listens and sends, from msgsvc.ini ([Messenger] Address and Port).
// The one reading of those two keys: msgsvc.exe (through ServiceConfig), its launcher and
// NetMessageBufferSend all come here, so both sides of an installation agree on the port.
#include <cstdint>
#include <string>
#include <string_view>

namespace lv {
class IniData;
}

namespace lv::messenger {

// The port of the Messenger service on Windows (NetBIOS session service).
constexpr uint16_t kDefaultPort = 139;
// Where msgsvc.exe also listens, and senders try next, when the port is the default: a
// Windows machine with NetBIOS over TCP/IP holds 139 itself, so two such machines could
// never reach each other there. 1139 is also the port earlier versions told offices to set
// by hand, so those machines and default ones meet on it.
constexpr uint16_t kFallbackPort = 1139;

struct MessengerSettings {
    std::string address = "0.0.0.0"; // as written; msgsvc checks it is a dotted IPv4 address
    uint16_t port = kDefaultPort;
    // 0: none. kFallbackPort unless Port is set (a port chosen by hand is used alone);
    // FallbackPort= sets it either way, 0 switches it off.
    uint16_t fallbackPort = kFallbackPort;
};

// A missing, non-numeric or out-of-range (not 1..65535) port gives the default; so does a
// missing or empty address. A fallback equal to the port is none.
MessengerSettings ReadMessengerSettings(const IniData& ini);
MessengerSettings ReadMessengerSettings(std::string_view iniBytes);

} // namespace lv::messenger
