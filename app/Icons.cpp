#include "app/Icons.h"

#include "app/IconPixels.h"

#include <cstdint>
#include <vector>

namespace lv {
namespace {

// A 32-bit icon from premultiplied-free BGRA pixels (top row first); the mask is taken
// from the alpha so that old drawing paths agree with the alpha blend.
HICON IconFromPixels(int size, const std::vector<uint32_t>& pixels) {
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = size;
    header.bV5Height = -size;
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP color = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                     &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!color || !bits) {
        if (color)
            DeleteObject(color);
        return nullptr;
    }
    auto* out = static_cast<uint32_t*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i)
        out[i] = pixels[i];

    // Monochrome mask, rows padded to 16 bits: 1 = transparent.
    int stride = ((size + 15) / 16) * 2;
    std::vector<uint8_t> maskBits(static_cast<size_t>(stride * size), 0);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if ((pixels[static_cast<size_t>(y * size + x)] >> 24) < 128)
                maskBits[static_cast<size_t>(y * stride + x / 8)] |=
                    static_cast<uint8_t>(0x80 >> (x % 8));
    HBITMAP mask = CreateBitmap(size, size, 1, 1, maskBits.data());

    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = color;
    info.hbmMask = mask;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(color);
    DeleteObject(mask);
    return icon;
}

} // namespace

HICON CreateLumivaleIcon(int size) {
    return IconFromPixels(size, LumivaleIconPixels(size));
}

HICON CreateBlankIcon(int size) {
    return IconFromPixels(size, std::vector<uint32_t>(static_cast<size_t>(size * size), 0));
}

} // namespace lv
