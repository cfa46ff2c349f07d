#include "framework/OnScreen.h"

#include <algorithm>

namespace lv {

bool TitleBarOnAMonitor(const ScreenRect& titleBar, const std::vector<ScreenRect>& workAreas) {
    return std::any_of(workAreas.begin(), workAreas.end(), [&](const ScreenRect& area) {
        return std::max(titleBar.left, area.left) < std::min(titleBar.right, area.right) &&
               std::max(titleBar.top, area.top) < std::min(titleBar.bottom, area.bottom);
    });
}

} // namespace lv
