#include "info/Help.h"

#include "framework/Files.h"
#include "framework/Gbk.h"
#include "framework/MessageBox.h"
#include "framework/Palette.h"
#include "messagelog/MessageLog.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace lv {

TfrmHelp::TfrmHelp() {
    FormLayout layout;
    layout.caption = "Lumivale使用说明";
    layout.clientWidth = 432;
    layout.clientHeight = 350;
    layout.fontName = "MS Sans Serif";
    layout.fontHeight = 11;
    // The Chinese guide needs a Chinese character set. On a Chinese system the default
    // set is GB2312 and the font mapper puts a Chinese face behind this name; saying so
    // gives the same where the default set is another (Wine under a C locale).
    layout.charset = GB2312_CHARSET;
    CreateForm(layout);
    mmHelp.Create(*this, kMmHelp, 8, 8, 417, 305, true);
    mmHelp.SetColor(kSkyBlue);
    btOK.Create(*this, kHelpBtOK, "确定(&O)", 344, 320, 75, 25);
    SetDefaultButton(&btOK);
    SetCancelButton(&btOK);
    btOK.OnClick = [this] { btOKClick(); };
    FocusControl(btOK);

    FileRead read = ReadFileBounded(AppDirectory() + L"README.TXT", kMaxHelpBytes);
    if (read.status == ReadStatus::Ok || read.status == ReadStatus::TooLarge) {
        guide_ = ToCrLf(read.bytes);
    } else {
        ShowMessageBox(Handle(), "文件Readme.txt未找到！", "错误", MB_OK);
        guide_ = "文件Readme.txt未找到。";
    }
}

void TfrmHelp::FormShow() {
    // The text goes in on the first showing: laying out a few thousand Chinese characters
    // makes the font engine load every glyph, megabytes and tens of milliseconds that a
    // start-up without the help window would pay for nothing.
    if (!guideShown_) {
        mmHelp.SetText(guide_);
        guideShown_ = true;
        guide_.clear();
        guide_.shrink_to_fit();
    }
}

void TfrmHelp::btOKClick() {
    Close();
}

TfrmAbout::TfrmAbout(const std::string& versionText) {
    FormLayout layout;
    layout.caption = "关于Lumivale";
    layout.clientWidth = 367;
    layout.clientHeight = 235;
    layout.position = POINT{308, 219};
    CreateForm(layout);
    // The picture and the labels "in" the panel and the group box are the box's own
    // children at their container's offset.
    Panel1.Create(*this, kAboutPanel, "", 8, 8, 145, 153, Bevel::Lowered);
    Panel1.SetColor(kBlack);
    Image1.Create(*this, kAboutImage, 16, 16, 128, 128);
    Image1.SetBitmap(CreateAboutPicture());
    GroupBox1.Create(*this, kAboutGroup, "版本信息", 160, 8, 201, 153);
    Label1.Create(*this, kAboutLabel1, "Lumivale", 168, 32, 185, 13);
    lbVersion.Create(*this, kLbVersion, versionText, 168, 56, 185, 13);
    Label2.Create(*this, kAboutLabel2, "Kestro", 168, 80, 185, 13);
    Label3.Create(*this, kAboutLabel3, "kestro@lumivale.example", 168, 104, 185, 13);
    Label4.Create(*this, kAboutLabel4, "http://lumivale.example/", 168, 128, 185, 13);
    Label5.Create(*this, kAboutLabel5, "详细信息请看帮助。", 16, 176, 185, 13);
    btOK.Create(*this, kAboutBtOK, "确定", 152, 208, 75, 25);
    SetDefaultButton(&btOK);
    SetCancelButton(&btOK);
    btOK.OnClick = [this] { btOKClick(); };
    FocusControl(btOK);
}

void TfrmAbout::btOKClick() {
    Close();
}

HBITMAP CreateAboutPicture() {
    constexpr int kSize = 128;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kSize;
    info.bmiHeader.biHeight = -kSize; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!bitmap || !bits)
        return bitmap;
    const int stride = (kSize * 3 + 3) & ~3;
    auto* rows = static_cast<uint8_t*>(bits);
    auto mix = [](double a, double b, double t) { return a + (b - a) * std::clamp(t, 0.0, 1.0); };
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            double u = (x + 0.5) / kSize, v = (y + 0.5) / kSize;
            // Dusk: deep blue above, warm near the horizon.
            double r = mix(20, 235, v * 1.3 - 0.2), g = mix(30, 150, v * 1.3 - 0.3),
                   b = mix(90, 120, v);
            // The light: a glowing disc with a halo.
            double dx = u - 0.5, dy = v - 0.46, d = std::sqrt(dx * dx + dy * dy);
            double glow = std::exp(-d * d / 0.012);
            r = mix(r, 255, glow), g = mix(g, 236, glow), b = mix(b, 170, glow);
            if (d < 0.09)
                r = 255, g = 248, b = 215;
            // Two hills meeting in the valley, the nearer one darker.
            double farHill = 0.62 + 0.10 * std::cos((u - 0.5) * 5.0) * (u < 0.5 ? 1 : 1.2);
            double nearHill = 0.74 + 0.16 * std::pow(std::abs(u - 0.45) * 2.0, 1.6);
            if (v > farHill)
                r = 40, g = mix(95, 70, (v - farHill) * 4), b = 70;
            if (v > nearHill)
                r = 18, g = mix(60, 40, (v - nearHill) * 4), b = 38;
            uint8_t* p = rows + y * stride + x * 3;
            p[0] = static_cast<uint8_t>(b);
            p[1] = static_cast<uint8_t>(g);
            p[2] = static_cast<uint8_t>(r);
        }
    }
    return bitmap;
}

} // namespace lv
