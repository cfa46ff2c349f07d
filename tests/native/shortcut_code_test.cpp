#include "desktop/ShortcutCode.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// RegisterHotKey's flags and the hot-key control's flags, written out from the Win32
// headers' values rather than taken from the code under test.
constexpr unsigned MOD_ALT = 1, MOD_CONTROL = 2, MOD_SHIFT = 4;
constexpr unsigned HOTKEYF_SHIFT = 1, HOTKEYF_CONTROL = 2, HOTKEYF_ALT = 4, HOTKEYF_EXT = 8;

TEST(ShortcutCode, EveryCodeDecodesToItsKeyAndModifiersIgnoringBits8To12) {
    // The expected registration, one row per modifier combination (bits 13-15).
    const unsigned modifiersByTopBits[8] = {
        0,                       // none
        MOD_SHIFT,               // 0x2000
        MOD_CONTROL,             // 0x4000
        MOD_CONTROL | MOD_SHIFT, // 0x6000
        MOD_ALT,                 // 0x8000
        MOD_ALT | MOD_SHIFT,     // 0xA000
        MOD_ALT | MOD_CONTROL,   // 0xC000
        MOD_ALT | MOD_CONTROL | MOD_SHIFT,
    };
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
        lv::HotKeyRegistration r = lv::DecodeShortcut(static_cast<uint16_t>(code));
        ASSERT_EQ(r.virtualKey, code & 0xFF) << std::hex << code;
        ASSERT_EQ(r.modifiers, modifiersByTopBits[code >> 13]) << std::hex << code;
    }
}

TEST(ShortcutCode, HotKeyControlValuesConvertBothWaysWithoutLoss) {
    // Ctrl+Alt+A: the control's initial value and the code the dialog stores.
    EXPECT_EQ(lv::HotKeyControlFromShortcut(0xC041), ((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8) | 0x41);
    EXPECT_EQ(lv::ShortcutFromHotKeyControl(((HOTKEYF_CONTROL | HOTKEYF_ALT) << 8) | 0x41), 0xC041);

    // Every code without bits 8-12 survives the trip through the control.
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
        if (code & 0x1F00)
            continue;
        ASSERT_EQ(lv::ShortcutFromHotKeyControl(lv::HotKeyControlFromShortcut(code)), code)
            << std::hex << code;
    }
    // Every control value with Shift/Ctrl/Alt only survives the trip through the code;
    // the extended-key flag is the one thing a code cannot hold.
    for (unsigned flags = 0; flags < 8; ++flags)
        for (unsigned vk = 0; vk < 256; ++vk) {
            uint16_t value = static_cast<uint16_t>((flags << 8) | vk);
            ASSERT_EQ(lv::HotKeyControlFromShortcut(lv::ShortcutFromHotKeyControl(value)), value);
            uint16_t extended = static_cast<uint16_t>(value | (HOTKEYF_EXT << 8));
            ASSERT_EQ(lv::ShortcutFromHotKeyControl(extended),
                      lv::ShortcutFromHotKeyControl(value));
        }
}

} // namespace
