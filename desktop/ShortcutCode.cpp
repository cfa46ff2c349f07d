#include "desktop/ShortcutCode.h"

namespace lv {

HotKeyRegistration DecodeShortcut(uint16_t code) {
    unsigned modifiers = 0;
    if (code & kShortcutShift)
        modifiers |= kModShift;
    if (code & kShortcutAlt)
        modifiers |= kModAlt;
    if (code & kShortcutCtrl)
        modifiers |= kModControl;
    return {modifiers, code & 0xFFu};
}

uint16_t ShortcutFromHotKeyControl(uint16_t value) {
    unsigned flags = value >> 8;
    unsigned code = value & 0xFFu;
    if (flags & kHotKeyFShift)
        code |= kShortcutShift;
    if (flags & kHotKeyFControl)
        code |= kShortcutCtrl;
    if (flags & kHotKeyFAlt)
        code |= kShortcutAlt;
    return static_cast<uint16_t>(code);
}

uint16_t HotKeyControlFromShortcut(uint16_t code) {
    unsigned flags = 0;
    if (code & kShortcutShift)
        flags |= kHotKeyFShift;
    if (code & kShortcutCtrl)
        flags |= kHotKeyFControl;
    if (code & kShortcutAlt)
        flags |= kHotKeyFAlt;
    return static_cast<uint16_t>((flags << 8) | (code & 0xFFu));
}

} // namespace lv
