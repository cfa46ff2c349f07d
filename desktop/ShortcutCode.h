#pragma once
// The 16-bit shortcut code in which the program stores its hot key (Lumivale.ini's
// Options/HotKey): the menu-shortcut encoding, bits 0-7 the virtual key, 0x2000 Shift,
// 0x4000 Ctrl, 0x8000 Alt; bits 8-12 carry nothing. Portable: the constants below are the
// Win32 values, spelt out here so that the rules are testable without <windows.h>.
#include <cstdint>

namespace lv {

// RegisterHotKey's modifier flags.
inline constexpr unsigned kModAlt = 0x0001;
inline constexpr unsigned kModControl = 0x0002;
inline constexpr unsigned kModShift = 0x0004;

// The hot-key edit control's modifier flags (high byte of HKM_GETHOTKEY's value).
inline constexpr unsigned kHotKeyFShift = 0x01;
inline constexpr unsigned kHotKeyFControl = 0x02;
inline constexpr unsigned kHotKeyFAlt = 0x04;
inline constexpr unsigned kHotKeyFExt = 0x08;

inline constexpr uint16_t kShortcutShift = 0x2000;
inline constexpr uint16_t kShortcutCtrl = 0x4000;
inline constexpr uint16_t kShortcutAlt = 0x8000;

struct HotKeyRegistration {
    unsigned modifiers; // kMod* flags
    unsigned virtualKey;
};

// What RegisterHotKey is given for a stored code. There is no Windows-key modifier.
HotKeyRegistration DecodeShortcut(uint16_t code);

// The settings dialog's hot-key edit control speaks another encoding: its value (low byte
// the virtual key, high byte kHotKeyF* flags) to a shortcut code and back. The extended-key
// flag has no place in a shortcut code and is dropped; so are bits 8-12 going the other way.
uint16_t ShortcutFromHotKeyControl(uint16_t value);
uint16_t HotKeyControlFromShortcut(uint16_t code);

} // namespace lv
