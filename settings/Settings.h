#pragma once
// Lumivale.ini as one structure: every key, its default and its type in one place. The
// file is read whole and written whole; the Win32 side (SettingsStore) does the file access.
#include <cstdint>
#include <string>
#include <string_view>

namespace lv {

struct Settings {
    // [Options]
    bool StartHide = false;
    std::string SoundFile; // default: the program's folder + "msg.wav"
    bool EnableSound = true;
    bool AnimateWindow = true;
    bool EnableHotkey = true;
    uint16_t HotKey = 0; // the 16-bit shortcut code; a stored value keeps its low 16 bits
    // A notification from the tray icon when messages arrive (on Windows 10/11 a toast):
    // the icon itself is often in the hidden overflow, and many PCs have no speakers.
    bool ArrivalNotice = true;
    // The received-message window comes up at once when messages arrive, without taking
    // the keyboard from what the user is typing.
    bool ShowReceived = false;
    // [Service]: port 139 held by Windows with the fallback port working has been reported
    // once for this installation; it is the normal state of a Windows PC and is not
    // repeated at every start.
    bool Port139Told = false;
    // [Position]: the main window's outer left and top edge
    int X = 0;
    int Y = 0;
};

// What the defaults depend on: the program's folder and the screen.
struct SettingsDefaults {
    std::string soundFile;
    int x = 0;
    int y = 0;
};

// The groups a save writes: the settings dialog writes the options, a close of the main
// window its position; neither touches the other's keys.
enum SettingsGroup : unsigned {
    kOptionsGroup = 1,
    kPositionGroup = 2,
    kServiceGroup = 4,
};

// Reads what the file holds; an absent key or a value that is not a number gives the default.
Settings ReadSettings(std::string_view iniBytes, const SettingsDefaults& defaults);
// The file `iniBytes` with the keys of `groups` set from `settings`, every other line kept.
std::string WriteSettings(std::string_view iniBytes, const Settings& settings, unsigned groups);

} // namespace lv
