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

struct MessengerSettings {
    std::string address = "0.0.0.0"; // as written; msgsvc checks it is a dotted IPv4 address
    uint16_t port = kDefaultPort;
};

// A missing, non-numeric or out-of-range (not 1..65535) port gives the default; so does a
// missing or empty address.
MessengerSettings ReadMessengerSettings(const IniData& ini);
MessengerSettings ReadMessengerSettings(std::string_view iniBytes);

} // namespace lv::messenger
