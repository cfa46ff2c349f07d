#include "settings/Settings.h"

#include "framework/IniFile.h"

namespace lv {
namespace {

constexpr std::string_view kOptions = "Options";
constexpr std::string_view kPosition = "Position";
constexpr std::string_view kService = "Service";

} // namespace

Settings ReadSettings(std::string_view iniBytes, const SettingsDefaults& defaults) {
    IniData ini(iniBytes);
    Settings s;
    s.StartHide = ini.ReadBool(kOptions, "StartHide", false);
    s.SoundFile = ini.ReadString(kOptions, "SoundFile", defaults.soundFile);
    s.EnableSound = ini.ReadBool(kOptions, "EnableSound", true);
    s.AnimateWindow = ini.ReadBool(kOptions, "AnimateWindow", true);
    s.EnableHotkey = ini.ReadBool(kOptions, "EnableHotkey", true);
    s.HotKey = static_cast<uint16_t>(static_cast<unsigned>(ini.ReadInteger(kOptions, "HotKey", 0)) &
                                     0xFFFFu);
    s.ArrivalNotice = ini.ReadBool(kOptions, "ArrivalNotice", true);
    s.ShowReceived = ini.ReadBool(kOptions, "ShowReceived", false);
    s.X = ini.ReadInteger(kPosition, "X", defaults.x);
    s.Y = ini.ReadInteger(kPosition, "Y", defaults.y);
    s.Port139Told = ini.ReadBool(kService, "Port139Told", false);
    return s;
}

std::string WriteSettings(std::string_view iniBytes, const Settings& s, unsigned groups) {
    IniData ini(iniBytes);
    if (groups & kOptionsGroup) {
        ini.WriteBool(kOptions, "StartHide", s.StartHide);
        ini.WriteString(kOptions, "SoundFile", s.SoundFile);
        ini.WriteBool(kOptions, "EnableSound", s.EnableSound);
        ini.WriteBool(kOptions, "AnimateWindow", s.AnimateWindow);
        ini.WriteBool(kOptions, "EnableHotkey", s.EnableHotkey);
        ini.WriteInteger(kOptions, "HotKey", s.HotKey);
        ini.WriteBool(kOptions, "ArrivalNotice", s.ArrivalNotice);
        ini.WriteBool(kOptions, "ShowReceived", s.ShowReceived);
    }
    if (groups & kPositionGroup) {
        ini.WriteInteger(kPosition, "X", s.X);
        ini.WriteInteger(kPosition, "Y", s.Y);
    }
    if (groups & kServiceGroup)
        ini.WriteBool(kService, "Port139Told", s.Port139Told);
    return ini.Bytes();
}

} // namespace lv
