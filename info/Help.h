#pragma once
// The help window (README.TXT beside the program, read once at start-up and put in the
// text area when the window is first shown) and the about box.
// Both are modal, created once and hidden, not destroyed, when closed.
#include "framework/Controls.h"
#include "framework/Form.h"

#include <string>

namespace lv {

enum HelpWindowId : int {
    kMmHelp = 600,
    kHelpBtOK = 601,
    kAboutPanel = 610,
    kAboutImage = 611,
    kAboutGroup = 612,
    kAboutLabel1 = 613,
    kLbVersion = 614,
    kAboutLabel2 = 615,
    kAboutLabel3 = 616,
    kAboutLabel4 = 617,
    kAboutLabel5 = 618,
    kAboutBtOK = 619,
};

// A README.TXT larger than this shows only its beginning.
inline constexpr size_t kMaxHelpBytes = 4u << 20;

class TfrmHelp : public TForm {
  public:
    // Reads README.TXT from the program's folder; a missing one is reported at once, in a
    // box of this (still hidden) window, and the text area says so from then on.
    TfrmHelp();

    void btOKClick();

    TMemo mmHelp;
    TButton btOK;

  protected:
    void FormShow() override;

  private:
    std::string guide_; // read at start-up, in the text area from the first showing on
    bool guideShown_ = false;
};

class TfrmAbout : public TForm {
  public:
    // `versionText`: the main window's VersionText.
    explicit TfrmAbout(const std::string& versionText);

    void btOKClick();

    TPanel Panel1;
    TImage Image1;
    TGroupBox GroupBox1;
    TLabel Label1, lbVersion, Label2, Label3, Label4, Label5;
    TButton btOK;
};

// The about box's picture: a 128 x 128 bitmap of 24 bits per pixel, drawn in code (a light
// over a valley at dusk). The caller owns it.
HBITMAP CreateAboutPicture();

} // namespace lv
