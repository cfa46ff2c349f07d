#include "messenger/Settings.h"

#include "framework/IniFile.h"

namespace lv::messenger {

MessengerSettings ReadMessengerSettings(const IniData& ini) {
    MessengerSettings s;
    s.address = ini.ReadString("Messenger", "Address", s.address);
    if (s.address.empty())
        s.address = MessengerSettings{}.address;
    int port = ini.ReadInteger("Messenger", "Port", kDefaultPort);
    if (port > 0 && port <= 0xFFFF)
        s.port = static_cast<uint16_t>(port);
    return s;
}

MessengerSettings ReadMessengerSettings(std::string_view iniBytes) {
    return ReadMessengerSettings(IniData(iniBytes));
}

} // namespace lv::messenger
