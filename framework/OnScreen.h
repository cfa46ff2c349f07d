#pragma once
// Whether a window placed at a saved position can be seen and grabbed: its title bar must
// lie at least partly in a monitor's work area (the part the taskbar leaves). A position
// saved on a monitor that is gone (an undocked laptop) fails this. Portable: the caller
// gathers the monitors' work areas.
#include <vector>

namespace lv {

struct ScreenRect {
    long left = 0, top = 0, right = 0, bottom = 0;
};

// True when `titleBar` shares at least one pixel with one of `workAreas`.
bool TitleBarOnAMonitor(const ScreenRect& titleBar, const std::vector<ScreenRect>& workAreas);

} // namespace lv
