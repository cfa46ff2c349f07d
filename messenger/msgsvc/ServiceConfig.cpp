#include "messenger/msgsvc/ServiceConfig.h"

#include "framework/IniFile.h"

#include <algorithm>

namespace lv::messenger {

namespace {

constexpr std::string_view kSection = "Messenger";

// A limit key: its default when missing or not a number, clamped to a sane range so that a
// typo cannot switch a protection off.
int ReadLimit(const IniData& ini, std::string_view key, int def, int low, int high) {
    return std::clamp(ini.ReadInteger(kSection, key, def), low, high);
}

} // namespace

ServiceConfig ReadServiceConfig(std::string_view iniBytes) {
    IniData ini(iniBytes);
    ServiceConfig config;
    MessengerSettings where = ReadMessengerSettings(ini);
    if (auto parsed = ParseIpv4(where.address))
        config.address = FormatIpv4(*parsed);
    else
        config.error = "Address is not a dotted IPv4 address: " + where.address;
    config.port = where.port;

    config.maxSessions = ReadLimit(ini, "MaxSessions", config.maxSessions, 1, 512);
    config.idleSeconds = ReadLimit(ini, "IdleSeconds", config.idleSeconds, 1, 3600);
    config.sessionSeconds = ReadLimit(ini, "SessionSeconds", config.sessionSeconds, 1, 3600);
    config.maxPopups = ReadLimit(ini, "MaxPopups", config.maxPopups, 1, 2000);
    config.maxSessionsPerPeer =
        ReadLimit(ini, "MaxSessionsPerPeer", config.maxSessionsPerPeer, 1, 512);
    config.maxPopupsPerPeer = ReadLimit(ini, "MaxPopupsPerPeer", config.maxPopupsPerPeer, 1, 2000);
    config.access.allow = ParseAddressList(ini.ReadString(kSection, "Allow", ""));
    config.access.deny = ParseAddressList(ini.ReadString(kSection, "Deny", ""));
    config.log = ini.ReadString(kSection, "Log", "");
    config.notify = ReadLimit(ini, "Notify", 1, 0, 1) != 0;
    config.fallbackPort = where.fallbackPort;
    return config;
}

std::string ServiceMutexName(const ServiceConfig& config) {
    return "LumivaleMessengerService " + config.address + ":" + std::to_string(config.port);
}

} // namespace lv::messenger
