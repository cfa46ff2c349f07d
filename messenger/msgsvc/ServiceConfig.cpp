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

std::optional<uint32_t> ParseIpv4(std::string_view text) {
    uint32_t result = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.')
                return std::nullopt;
            ++pos;
        }
        size_t start = pos;
        unsigned value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
            value = value * 10 + static_cast<unsigned>(text[pos] - '0');
            ++pos;
        }
        if (pos == start || value > 255)
            return std::nullopt;
        result = (result << 8) | value;
    }
    if (pos != text.size())
        return std::nullopt;
    return result;
}

std::string FormatIpv4(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

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
