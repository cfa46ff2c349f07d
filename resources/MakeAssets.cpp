// Writes the files the executables and the package carry that are pictures or sound:
//   lvassets OUTDIR  →  OUTDIR/Lumivale.ico, OUTDIR/msgsvc.ico, OUTDIR/msg.wav
// Runs on the build machine. The icons are the program's own drawing (app/IconPixels.cpp)
// in 16, 32, 48 and 256 pixels; the sound is a short two-note chime computed here.
#include "app/IconPixels.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::string;

void Put16(Bytes& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(Bytes& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// One icon image as Windows stores it: BITMAPINFOHEADER (height doubled for the mask),
// 32-bit BGRA rows bottom-up, then the 1-bit AND mask (1 = transparent), rows padded to 32 bits.
Bytes IconImage(int size, const std::vector<uint32_t>& pixels) {
    const int maskStride = ((size + 31) / 32) * 4;
    Bytes out;
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(size));
    Put32(out, static_cast<uint32_t>(size * 2));
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0); // BI_RGB
    Put32(out, static_cast<uint32_t>(size * size * 4 + maskStride * size));
    for (int i = 0; i < 4; ++i)
        Put32(out, 0);
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x)
            Put32(out, pixels[static_cast<size_t>(y * size + x)]);
    for (int y = size - 1; y >= 0; --y) {
        Bytes row(static_cast<size_t>(maskStride), '\0');
        for (int x = 0; x < size; ++x)
            if ((pixels[static_cast<size_t>(y * size + x)] >> 24) < 128)
                row[static_cast<size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
        out += row;
    }
    return out;
}

Bytes IconFile(std::vector<uint32_t> (*draw)(int, int)) {
    const int sizes[] = {16, 32, 48, 256};
    std::vector<Bytes> images;
    for (int size : sizes)
        // Smooth edges from 32 pixels on; 16 keeps the hard edges of the tray icon.
        images.push_back(IconImage(size, draw(size, size == 16 ? 1 : 4)));
    Bytes out;
    Put16(out, 0);
    Put16(out, 1); // icon
    Put16(out, static_cast<unsigned>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out += static_cast<char>(sizes[i] & 0xFF); // 256 is written as 0
        out += static_cast<char>(sizes[i] & 0xFF);
        out += '\0'; // no palette
        out += '\0';
        Put16(out, 1);  // planes
        Put16(out, 32); // bits per pixel
        Put32(out, static_cast<uint32_t>(images[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const Bytes& image : images)
        out += image;
    return out;
}

// A soft "ding-dong": G5 then C6, each a bell-like tone (a few decaying partials) with a
// short attack so that it does not click, mono 16-bit at 22050 Hz, about 0.7 s.
Bytes ChimeWav() {
    const int rate = 22050;
    const double length = 0.7;
    const int count = static_cast<int>(rate * length);
    const double pi = std::acos(-1.0);
    struct Note { double start, freq; };
    const Note notes[] = {{0.0, 783.99}, {0.16, 1046.50}};
    std::vector<double> wave(static_cast<size_t>(count), 0.0);
    for (const Note& n : notes) {
        for (int i = static_cast<int>(n.start * rate); i < count; ++i) {
            double t = i / static_cast<double>(rate) - n.start;
            double attack = std::min(t / 0.004, 1.0);
            double tone = std::sin(2 * pi * n.freq * t) * std::exp(-t / 0.18) +
                          0.35 * std::sin(2 * pi * 2 * n.freq * t) * std::exp(-t / 0.08) +
                          0.12 * std::sin(2 * pi * 3 * n.freq * t) * std::exp(-t / 0.05);
            wave[static_cast<size_t>(i)] += attack * tone;
        }
    }
    // Fade the last 50 ms to silence, then scale the loudest sample to half of full scale.
    double peak = 0;
    for (int i = 0; i < count; ++i) {
        double fade = std::min(1.0, (count - i) / (0.05 * rate));
        wave[static_cast<size_t>(i)] *= fade;
        peak = std::max(peak, std::abs(wave[static_cast<size_t>(i)]));
    }
    Bytes data;
    for (double v : wave)
        Put16(data, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v / peak * 16384))));

    Bytes out = "RIFF";
    Put32(out, static_cast<uint32_t>(36 + data.size()));
    out += "WAVEfmt ";
    Put32(out, 16);
    Put16(out, 1); // PCM
    Put16(out, 1); // mono
    Put32(out, rate);
    Put32(out, rate * 2);
    Put16(out, 2);
    Put16(out, 16);
    out += "data";
    Put32(out, static_cast<uint32_t>(data.size()));
    return out + data;
}

bool Write(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "lvassets: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lvassets OUTDIR\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = Write(dir + "/Lumivale.ico", IconFile(lv::LumivaleIconPixels)) &&
              Write(dir + "/msgsvc.ico", IconFile(lv::ServiceIconPixels)) &&
              Write(dir + "/msg.wav", ChimeWav());
    return ok ? 0 : 1;
}
