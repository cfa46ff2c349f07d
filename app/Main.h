#pragma once
// The main window: friend list, status area, the two popup menus, the timers, and the
// routing of every user command to the window that carries it out.
#include "desktop/GlobalHotKey.h"
#include "desktop/Trayicon.h"
#include "framework/Controls.h"
#include "framework/Form.h"
#include "framework/Palette.h"
#include "framework/Timer.h"
#include "hub/MainHub.h"

#include <string>

namespace lv {

// Control and menu-item IDs of the main window; tools that drive the window from outside
// rely on them.
enum MainWindowId : int {
    kGroupBox1 = 100,
    kBtAdd = 101,
    kBtDelete = 102,
    kBtEdit = 103,
    kBtTempSend = 104,
    kLsbNames = 105,
    kBtStatus = 106,
    kBtHistory = 107,
    kMmOutput = 108,
    kBtMainMenu = 109,
    kBtSet = 110,
    kBtClear = 111,
    kMnTitle = 200,
    kMnSet = 201,
    kMnAdd = 202,
    kMnStatus = 203,
    kMnHelp = 204,
    kMnAbout = 205,
    kMnShowHide = 206,
    kMnExit = 207,
    kMnSend = 211,
    kMnAddFriend = 212,
    kMnEdit = 213,
    kMnDelete = 214,
};

class TfrmFriend;
class TfrmSend;
class TfrmSet;
class TfrmTempSend;
class TMessageCapture;

class TfrmMain : public TForm, public MainHub {
  public:
    // The windows the main window opens; they are created after it.
    struct Windows {
        TfrmFriend* frmFriend = nullptr;
        TfrmSend* frmSend = nullptr;
        TfrmTempSend* frmTempSend = nullptr;
        TfrmSet* frmSet = nullptr;
        TForm* frmAbout = nullptr;
        TForm* frmHelp = nullptr;
        TForm* frmReceive = nullptr;
        TForm* frmHistory = nullptr;
        // Takes the Messenger pop-ups on every tick of tmReceive.
        TMessageCapture* capture = nullptr;
    };

    // Creates the window hidden and runs FormCreate: welcome lines, settings, friends.
    TfrmMain();
    ~TfrmMain() override;

    void SetWindows(const Windows& windows) { windows_ = windows; }

    // MainHub
    bool AddStatusLine(std::string_view gbk) override;
    bool AddFriendStatusLine(std::string address, std::string suffix) override;
    FriendList& Friends() override { return friends_; }
    std::optional<int> SelectedFriend() const override;
    bool SaveFriends() override;
    const Settings& CurrentSettings() const override { return settings_; }
    void ApplySettings(const Settings& settings) override;
    void PutOnTop() override;
    HWND MainWindow() const override { return Handle(); }
    TGlobalHotKey& MainHotKey() override { return hkMain; }
    void SetTrayIconIndex(int index) override { TrayIcon.SetIconIndex(index); }
    bool Flashing() const override { return tmFlash.Enabled(); }
    void SetFlashing(bool on) override;
    bool ShowArrivalNotice(std::string_view title, std::string_view text) override;

    // Main thread: the name of the friend at `address`, or "出错了".
    std::string FriendNameByAddress(std::string_view address) const;
    void LoadFriends();
    // Whether the window's title bar at (x, y) lies in some monitor's work area.
    bool TitleBarOnScreenAt(int x, int y) const;
    void LoadSettings();
    // FRIENDS.DAT exists but could not be read at start: it is never written in this run.
    bool FriendFileProtected() const { return friendFileProtected_; }
    // A FRIENDS.DAT larger than this is damaged (500 friends take a few kilobytes).
    static constexpr size_t kMaxFriendFileBytes = 8 << 20;

    // Where btMainMenuClick opens the main menu, in screen pixels.
    POINT MainMenuPoint() const;

    // Handlers, as a user's action runs them.
    void btAddClick();
    void btDeleteClick();
    void btEditClick();
    void btTempSendClick();
    void lsbNamesDblClick();
    void lsbNamesMouseUp(MouseButton button);
    void btStatusClick();
    void btHistoryClick();
    void btMainMenuClick();
    void btSetClick();
    void btClearClick();
    void mnSetClick();
    void mnAddClick();
    void mnStatusClick();
    void mnHelpClick();
    void mnAboutClick();
    void W1Click();
    void mnExitClick();
    void mnSendClick();
    void mnAddFriendClick();
    void mnEditClick();
    void mnDeleteClick();
    void TrayIconClick();
    // A click on the arrival notification: the waiting messages, or the main window.
    void TrayIconNoticeClick();
    void hkMainHotKey();
    void tmFlashTimer();
    void tmReceiveTimer();

    TGroupBox GroupBox1;
    TButton btAdd, btDelete, btEdit, btTempSend;
    TListBox lsbNames;
    TButton btStatus, btHistory;
    TMemo mmOutput;
    TButton btMainMenu, btSet, btClear;
    TImageList imgList;
    TPopupMenu mnMain, mnFriend;
    TTrayIcon TrayIcon;
    // Registered by LoadSettings; toggles the window as a tray click does.
    TGlobalHotKey hkMain;
    // Runs while received messages wait unread; the tray icon blinks with it.
    TTimer tmFlash;
    TTimer tmDelay;
    // Ten times a second for the whole run: the capture of the Messenger pop-ups.
    TTimer tmReceive;

    std::string VersionText;
    std::string TrayHint;
    bool ExitRequested = false;

  protected:
    void FormShow() override;
    void FormHide() override;
    void FormClose(CloseAction& action) override;

  private:
    void CreateControls();
    void FormCreate();
    void ShowFriends();
    void ToggleVisible();
    void ShowModalAndPutOnTop(TForm* form);
    bool SelectedFriendOrComplain(int& index);

    Windows windows_;
    FriendList friends_;
    Settings settings_;
    bool friendFileProtected_ = false;
    // FRIENDS.DAT was read as damaged: the next save first keeps a copy of it.
    bool keepDamagedFile_ = false;
    // That copy, until a save has succeeded.
    std::wstring damagedFileCopy_;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
};

} // namespace lv
