#include "messenger/Settings.h"

#include "framework/IniFile.h"

namespace lv::messenger {

MessengerSettings ReadMessengerSettings(const IniData& ini) {
    MessengerSettings s;
    s.address = ini.ReadString("Messenger", "Address", s.address);
    if (s.address.empty())
        s.address = MessengerSettings{}.address;
    // Missing: -1, so that only a port really written there counts as chosen by hand.
    int port = ini.ReadInteger("Messenger", "Port", -1);
    if (port > 0 && port <= 0xFFFF) {
        s.port = static_cast<uint16_t>(port);
        s.fallbackPort = 0;
    }
    int fallback = ini.ReadInteger("Messenger", "FallbackPort", -1);
    if (fallback >= 0 && fallback <= 0xFFFF)
        s.fallbackPort = static_cast<uint16_t>(fallback);
    if (s.fallbackPort == s.port)
        s.fallbackPort = 0;
    return s;
}

MessengerSettings ReadMessengerSettings(std::string_view iniBytes) {
    return ReadMessengerSettings(IniData(iniBytes));
}

} // namespace lv::messenger
