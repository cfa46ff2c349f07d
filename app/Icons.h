#pragma once
// The program's pictures, drawn in code: the window and tray icon (a speech bubble on a
// blue tile) and the wholly transparent image the tray icon blinks to.
#include <windows.h>

namespace lv {

// Icons the caller owns (DestroyIcon).
HICON CreateLumivaleIcon(int size);
HICON CreateBlankIcon(int size);

} // namespace lv
