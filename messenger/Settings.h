#pragma once
// Where the Messenger listens and sends, from msgsvc.ini ([Messenger] Address and Port).
#include <cstdint>
#include <string>
#include <string_view>

namespace lv::messenger {

constexpr uint16_t kDefaultPort = 139;

struct MessengerSettings {
    std::string address = "0.0.0.0";
    uint16_t port = kDefaultPort;
};

// The settings from the file's bytes; a missing or out-of-range port gives the default.
MessengerSettings ReadMessengerSettings(std::string_view iniBytes);

} // namespace lv::messenger
