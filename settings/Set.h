#pragma once
// The settings dialog: sender name, message sound, hot key, start hidden, window effects
// and start with Windows. Created once at start-up and reused for every opening; what it
// shows is refreshed from the running program at each opening.
#include "framework/Controls.h"
#include "framework/Dialogs.h"
#include "framework/Form.h"
#include "hub/MainHub.h"
#include "settings/AutoStart.h"

#include <string>

namespace lv {

// Control IDs of the settings dialog; tools that drive it from outside rely on them.
enum SetWindowId : int {
    kSetGroupSender = 300,
    kEdtSendName = 301,
    kLbSendName = 302,
    kSetGroupSound = 303,
    kCbEnableSound = 304,
    kEdtSoundFile = 305,
    kBtBrowse = 306,
    kSetGroupHotkey = 307,
    kCbEnableHotkey = 308,
    kHkSet = 309,
    kSetGroupOther = 310,
    kChkStartHide = 311,
    kCbAnimate = 312,
    kCbAutoStart = 313,
    kSetBtOK = 314,
    kSetBtCancel = 315,
    kCbNotice = 316,
};

class TfrmSet : public TForm {
  public:
    explicit TfrmSet(MainHub& hub);

    // The main window's settings command: fills the fields from the running program and
    // shows the dialog modally; returns when it has closed (true). While the dialog is
    // already open it only comes forward, keeping what the user has typed (false).
    bool OpenModal();

    // Handlers, as a user's action runs them.
    void btOKClick();
    void btCancelClick();
    void cbEnableSoundClick();
    void btBrowseClick();
    void cbEnableHotkeyClick();

    // The start-with-Windows state as last read from or successfully written to the
    // registry; OK touches the registry only when the check box differs from it.
    bool AutoStartWas() const { return autoStartWas_; }

    TGroupBox gbSender;
    TEdit edtSendName;
    TLabel lbSendName;
    TButton btOK, btCancel;
    TGroupBox gbOther;
    TCheckBox chkStartHide, cbAnimate, cbAutoStart;
    // The tray icon's notification when messages arrive.
    TCheckBox cbNotice;
    TGroupBox gbSound;
    TCheckBox cbEnableSound;
    TEdit edtSoundFile;
    TButton btBrowse;
    TGroupBox gbHotkey;
    TCheckBox cbEnableHotkey;
    THotKey hkSet;
    TOpenDialog OpenD;

  protected:
    void FormShow() override;

  private:
    void CreateControls();
    void FormCreate();
    void ShowSoundFileState();
    // OK with 随Windows启动 changed: the Run key, and a box when it could not be changed.
    void ChangeAutoStart(bool on);

    MainHub& hub_;
    bool autoStartWas_ = false;
};

} // namespace lv
