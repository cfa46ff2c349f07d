#pragma once
// The program's two icons as pixels, without <windows.h>: the window and tray icon drawn at
// run time (app/Icons.cpp) and the .ico files the executables carry (resources/) come from
// the same drawing, so they look alike in every size.
#include <cstdint>
#include <vector>

namespace lv {

// size × size pixels, top row first, each 0xAARRGGBB with straight (not premultiplied)
// alpha. samples × samples points are averaged per pixel; 1 takes the pixel centre only
// (hard edges, as the tray icon wants at 16 × 16).
std::vector<uint32_t> LumivaleIconPixels(int size, int samples = 1);
// msgsvc.exe: a white envelope on an orange tile.
std::vector<uint32_t> ServiceIconPixels(int size, int samples = 1);

} // namespace lv
