#include "app/IconPixels.h"

#include <algorithm>
#include <cmath>

namespace lv {
namespace {

uint32_t Argb(int a, int r, int g, int b) {
    return static_cast<uint32_t>(a) << 24 | static_cast<uint32_t>(r) << 16 |
           static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b);
}

// Both icons sit on the same rounded tile; the point (px, py) is in 16-pixel units.
bool OnTile(double px, double py) {
    double cx = std::max(std::abs(px - 8.0) - 5.0, 0.0);
    double cy = std::max(std::abs(py - 8.0) - 5.0, 0.0);
    return std::sqrt(cx * cx + cy * cy) <= 2.5;
}

// Blue tile, white speech bubble with a tail at its lower left, three green dots of a
// message being written.
uint32_t LumivaleAt(double px, double py) {
    if (!OnTile(px, py))
        return 0;
    int shade = static_cast<int>(40 + 6 * py);
    uint32_t p = Argb(255, 20, shade + 60, 200);
    double bx = (px - 8.0) / 5.2, by = (py - 7.0) / 3.8;
    bool bubble = bx * bx + by * by <= 1.0;
    bool tail = py >= 9.5 && py <= 13.0 && px >= 4.0 && px <= 4.0 + (13.0 - py) * 0.9;
    if (bubble || tail)
        p = Argb(255, 255, 255, 255);
    for (double dx : {5.5, 8.0, 10.5}) {
        double ddx = px - dx, ddy = py - 7.0;
        if (ddx * ddx + ddy * ddy <= 0.9)
            p = Argb(255, 30, 160, 60);
    }
    return p;
}

// Orange tile, white envelope whose flap is drawn in the tile's darker shade.
uint32_t ServiceAt(double px, double py) {
    if (!OnTile(px, py))
        return 0;
    int shade = static_cast<int>(6 * py);
    uint32_t p = Argb(255, 235, 150 - shade, 30);
    if (px < 3.0 || px > 13.0 || py < 4.5 || py > 11.5)
        return p;
    // The flap: two strokes from the top corners down to the middle.
    double dy = std::abs(4.5 + (5.0 - std::abs(px - 8.0)) * 0.8 - py);
    if (dy <= 0.45)
        return Argb(255, 180, 80, 20);
    return Argb(255, 255, 255, 255);
}

std::vector<uint32_t> Render(int size, int samples, uint32_t (*at)(double, double)) {
    std::vector<uint32_t> pixels(static_cast<size_t>(size * size), 0);
    const double s = size / 16.0;
    samples = std::max(samples, 1);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            // Sums of premultiplied colour, so that a transparent sample adds no colour.
            double a = 0, r = 0, g = 0, b = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    double px = (x + (sx + 0.5) / samples) / s;
                    double py = (y + (sy + 0.5) / samples) / s;
                    uint32_t c = at(px, py);
                    double ca = (c >> 24) / 255.0;
                    a += ca;
                    r += ca * ((c >> 16) & 0xFF);
                    g += ca * ((c >> 8) & 0xFF);
                    b += ca * (c & 0xFF);
                }
            }
            if (a <= 0)
                continue;
            int n = samples * samples;
            pixels[static_cast<size_t>(y * size + x)] =
                Argb(static_cast<int>(std::lround(a * 255 / n)), static_cast<int>(std::lround(r / a)),
                     static_cast<int>(std::lround(g / a)), static_cast<int>(std::lround(b / a)));
        }
    }
    return pixels;
}

} // namespace

std::vector<uint32_t> LumivaleIconPixels(int size, int samples) {
    return Render(size, samples, LumivaleAt);
}

std::vector<uint32_t> ServiceIconPixels(int size, int samples) {
    return Render(size, samples, ServiceAt);
}

} // namespace lv
