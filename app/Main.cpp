#include "app/Main.h"

#include "app/Icons.h"
#include "capture/Capture.h"
#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Files.h"
#include "framework/Gbk.h"
#include "framework/MessageBox.h"
#include "framework/OnScreen.h"
#include "friends/FriendEditor.h"
#include "friends/FriendFile.h"
#include "presence/PresenceQuery.h"
#include "send/Send.h"
#include "send/TempSend.h"
#include "settings/Set.h"
#include "settings/SettingsStore.h"

#include <algorithm>

namespace lv {

namespace {

const wchar_t kFriendFile[] = L"FRIENDS.DAT";

} // namespace

TfrmMain::TfrmMain() {
    FormLayout layout;
    layout.caption = "Lumivale";
    layout.clientWidth = 138;
    layout.clientHeight = 565;
    layout.position = POINT{0, 0}; // LoadSettings places the window
    layout.fades = true;
    CreateForm(layout);
    CreateControls();
    FormCreate();
}

TfrmMain::~TfrmMain() {
    if (bigIcon_)
        DestroyIcon(bigIcon_);
    if (smallIcon_)
        DestroyIcon(smallIcon_);
}

void TfrmMain::CreateControls() {
    // GroupBox1 lies at the client origin, so the buttons "in" it have the same
    // coordinates in the client area; they are children of the form so that their
    // clicks reach it.
    GroupBox1.Create(*this, kGroupBox1, "好友管理", 0, 0, 137, 345);
    btAdd.Create(*this, kBtAdd, "添加(&A)", 8, 16, 57, 25);
    btDelete.Create(*this, kBtDelete, "删除(&D)", 72, 16, 57, 25);
    btEdit.Create(*this, kBtEdit, "编辑(&E)", 8, 40, 57, 25);
    btTempSend.Create(*this, kBtTempSend, "临发(&T)", 72, 40, 57, 25);
    lsbNames.Create(*this, kLsbNames, 8, 72, 121, 265, 13);
    lsbNames.SetColor(kSkyBlue);
    btStatus.Create(*this, kBtStatus, "查询好友", 0, 352, 65, 25);
    btHistory.Create(*this, kBtHistory, "聊天记录", 72, 352, 65, 25);
    mmOutput.Create(*this, kMmOutput, 0, 384, 137, 145, true);
    mmOutput.SetColor(kMoneyGreen);
    mmOutput.SetFont(GetFont("宋体", 12, GB2312_CHARSET));
    btMainMenu.Create(*this, kBtMainMenu, "主菜单", 8, 536, 41, 25);
    btSet.Create(*this, kBtSet, "设", 56, 536, 33, 25);
    btClear.Create(*this, kBtClear, "清", 96, 536, 33, 25);

    SetHint(btStatus, "查询好友的在线状态");
    SetHint(btHistory, "查看聊天记录");
    SetHint(btSet, "设置");
    SetHint(btClear, "清空状态区信息");

    btAdd.OnClick = [this] { btAddClick(); };
    btDelete.OnClick = [this] { btDeleteClick(); };
    btEdit.OnClick = [this] { btEditClick(); };
    btTempSend.OnClick = [this] { btTempSendClick(); };
    lsbNames.OnDblClick = [this] { lsbNamesDblClick(); };
    lsbNames.OnMouseUp = [this](MouseButton button) { lsbNamesMouseUp(button); };
    btStatus.OnClick = [this] { btStatusClick(); };
    btHistory.OnClick = [this] { btHistoryClick(); };
    btMainMenu.OnClick = [this] { btMainMenuClick(); };
    btSet.OnClick = [this] { btSetClick(); };
    btClear.OnClick = [this] { btClearClick(); };

    mnMain.Create(*this);
    mnMain.AddDisabled(kMnTitle, "Lumivale");
    mnMain.AddSeparator();
    mnMain.Add(kMnSet, "设置(&S)", [this] { mnSetClick(); });
    mnMain.Add(kMnAdd, "添加好友(&D)", [this] { mnAddClick(); });
    mnMain.Add(kMnStatus, "查询好友(&T)", [this] { mnStatusClick(); });
    mnMain.AddSeparator();
    mnMain.Add(kMnHelp, "帮助(&H)", [this] { mnHelpClick(); });
    mnMain.Add(kMnAbout, "关于(&A)", [this] { mnAboutClick(); });
    mnMain.AddSeparator();
    mnMain.Add(kMnShowHide, "隐藏/显示窗口(&W)", [this] { W1Click(); });
    mnMain.Add(kMnExit, "退出(&E)", [this] { mnExitClick(); });

    mnFriend.Create(*this);
    mnFriend.Add(kMnSend, "发送(&S)", [this] { mnSendClick(); });
    mnFriend.Add(kMnAddFriend, "添加(&A)", [this] { mnAddFriendClick(); });
    mnFriend.Add(kMnEdit, "编辑(&E)", [this] { mnEditClick(); });
    mnFriend.Add(kMnDelete, "删除(&D)", [this] { mnDeleteClick(); });

    bigIcon_ = CreateLumivaleIcon(GetSystemMetrics(SM_CXICON));
    smallIcon_ = CreateLumivaleIcon(GetSystemMetrics(SM_CXSMICON));
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    imgList.Create(16, 16);
    HICON normal = CreateLumivaleIcon(16);
    HICON blank = CreateBlankIcon(16);
    imgList.Add(normal);
    imgList.Add(blank);
    DestroyIcon(normal);
    DestroyIcon(blank);

    // Hint and image first: FormCreate puts the icon into the notification area whole, in
    // one call to the shell (each call waits for the taskbar's process).
    TrayIcon.SetHint("Lumivale");
    TrayIcon.SetIcons(&imgList);
    TrayIcon.PopupMenu = &mnMain;
    TrayIcon.PopupMenuOn = TTrayIconMessage::imRightClickUp;
    TrayIcon.RestoreOn = TTrayIconMessage::imDoubleClick;
    TrayIcon.OnClick = [this] { TrayIconClick(); };
    TrayIcon.OnNoticeClick = [this] { TrayIconNoticeClick(); };

    tmFlash.SetInterval(500);
    tmFlash.SetEnabled(false);
    tmFlash.OnTimer = [this] { tmFlashTimer(); };
    tmReceive.SetInterval(100);
    tmReceive.OnTimer = [this] { tmReceiveTimer(); };
    tmReceive.SetEnabled(true);
    tmDelay.SetEnabled(false);

    // Nothing is registered before LoadSettings has read whether and which key to hold.
    hkMain.SetEnabled(false);
    hkMain.OnHotKey = [this] { hkMainHotKey(); };
}

void TfrmMain::FormCreate() {
    ExitRequested = false;
    VersionText = "1.32";
    TrayHint = "Lumivale " + VersionText + " by Kestro";
    TrayIcon.SetHint(TrayHint);
    // The icon is in the notification area from here on, before anything can ask the user a
    // question. When the shell is not ready (a start at log-on, Explorer restarting) the
    // icon comes later on its own; the program runs and captures meanwhile.
    TrayIcon.SetVisible(true);
    AddStatusLine("欢迎使用Lumivale！");
    AddStatusLine("当前版本：" + VersionText);
    AddStatusLine("");
    // Unzipped into Program Files, a read-only share: said before anything is lost to it.
    if (!CanCreateFileIn(AppDirectory()))
        AddStatusLine("本软件所在的文件夹不能写入！收到的信息只显示，不会保存；好友和设置的修改"
                      "也不会保存。请把本软件的文件夹移到你有权写入的地方（如“我的文档”），"
                      "或用安装程序为当前用户安装。");
    LoadSettings();
    LoadFriends();
}

namespace {

std::vector<ScreenRect> MonitorWorkAreas() {
    std::vector<ScreenRect> areas;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
            MONITORINFO info{};
            info.cbSize = sizeof info;
            if (GetMonitorInfoW(monitor, &info))
                reinterpret_cast<std::vector<ScreenRect>*>(data)->push_back(
                    {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&areas));
    return areas;
}

} // namespace

bool TfrmMain::TitleBarOnScreenAt(int x, int y) const {
    // The title bar: the window's width, from its top edge down to the client area.
    RECT window{};
    GetWindowRect(Handle(), &window);
    POINT client{0, 0};
    ClientToScreen(Handle(), &client);
    long height = std::max<long>(client.y - window.top, 1);
    ScreenRect bar{x, y, x + (window.right - window.left), y + height};
    // MonitorFromRect knows the monitors, the work areas tell where the taskbar is not.
    RECT asked{bar.left, bar.top, bar.right, bar.bottom};
    if (!MonitorFromRect(&asked, MONITOR_DEFAULTTONULL))
        return false;
    return TitleBarOnAMonitor(bar, MonitorWorkAreas());
}

void TfrmMain::LoadSettings() {
    SettingsDefaults defaults;
    defaults.x = GetSystemMetrics(SM_CXSCREEN) - Width() - 10;
    defaults.y = (GetSystemMetrics(SM_CYSCREEN) - Height()) / 2;
    defaults.soundFile = ToGbk(AppDirectory()) + "msg.wav";
    settings_ = SettingsStore().Load(defaults);
    // Saved on a monitor that is gone (an undocked laptop): the window would open where
    // nobody can reach it, and it has no taskbar button to bring it back.
    if (!TitleBarOnScreenAt(settings_.X, settings_.Y)) {
        settings_.X = defaults.x;
        settings_.Y = defaults.y;
    }
    SetPosition(settings_.X, settings_.Y);
    App().SetAnimateWindows(settings_.AnimateWindow);

    // Key 0 first, so that the stored key counts as a change and is attempted even when
    // the component already had it.
    hkMain.SetHotKey(0);
    hkMain.SetEnabled(settings_.EnableHotkey);
    hkMain.SetHotKey(settings_.HotKey);
    if (hkMain.Enabled() && !hkMain.Registered())
        ShowMessageBox(Handle(), "热键冲突，请重新设置一个热键！", "Lumivale", MB_OK);
}

void TfrmMain::ApplySettings(const Settings& settings) {
    settings_ = settings;
    App().SetAnimateWindows(settings_.AnimateWindow);
}

bool TfrmMain::AddStatusLine(std::string_view gbk) {
    if (App().IsMainThread()) {
        mmOutput.AppendLine(gbk);
        return true;
    }
    // The memo belongs to the main thread; the line travels there whole, and the posted
    // messages of one thread keep their order.
    return App().Post([this, line = std::string(gbk)] { mmOutput.AppendLine(line); });
}

bool TfrmMain::AddFriendStatusLine(std::string address, std::string suffix) {
    return App().Post([this, address = std::move(address), suffix = std::move(suffix)] {
        mmOutput.AppendLine(FriendNameByAddress(address) + suffix);
    });
}

std::string TfrmMain::FriendNameByAddress(std::string_view address) const {
    return friends_.NameByAddress(address);
}

std::optional<int> TfrmMain::SelectedFriend() const {
    int index = lsbNames.ItemIndex();
    if (index < 0 || index >= friends_.Count())
        return std::nullopt;
    return index;
}

void TfrmMain::ShowFriends() {
    int selected = lsbNames.ItemIndex();
    std::vector<std::string> names;
    for (const Friend& f : friends_.Entries())
        names.push_back(f.name);
    lsbNames.SetItems(names);
    if (selected >= 0 && selected < friends_.Count() && lsbNames.ItemIndex() != selected)
        lsbNames.SetItemIndex(selected);
}

void TfrmMain::LoadFriends() {
    AddStatusLine("正在读取好友数据..");
    // Read before the list is emptied: a scanner holding the file is waited for, and what
    // the wait lets run must not find (and save) an empty list.
    FileRead file = ReadFileBoundedWhenFree(AppDirectory() + kFriendFile, kMaxFriendFileBytes);
    lsbNames.Clear();
    friends_.Clear();
    if (file.status == ReadStatus::Missing) {
        AddStatusLine("未找到数据文件！请添加好友，并设置发送者的名字。");
        friends_.SetSenderName("Sender");
        return;
    }
    if (file.status == ReadStatus::Unreadable) {
        // Locked by another program, no rights, a read error: the user's list is there but
        // out of reach. Saving over it now would replace it with whatever this run adds.
        friendFileProtected_ = true;
        AddStatusLine("数据文件无法读取（可能正被其他程序使用）！本次运行不会改写它。");
        friends_.SetSenderName("Sender");
        return;
    }
    FriendFileRead read = ReadFriendFile(file.bytes);
    if (read.version)
        AddStatusLine("数据文件版本:" + std::to_string(*read.version) + ".0");
    if (read.count)
        AddStatusLine("好友个数：" + std::to_string(*read.count));
    if (read.sender)
        AddStatusLine("发送者名字：" + *read.sender);
    // A file of megabytes cannot be a list of 500 friends.
    if (read.damaged || file.status == ReadStatus::TooLarge) {
        // The list box stays empty, and so does the list behind it: entries that no line
        // shows could otherwise be edited or saved blind.
        friends_.SetSenderName(read.sender ? *read.sender : "Sender");
        AddStatusLine("数据文件出错！建议删除错误的数据文件Friends.dat，然后重新运行本软件。");
        // What could not be read may still be the user's only record of the list: the
        // first save keeps the file as it is beside it. Once kept, a failed save leaves the
        // same file behind, and it is read back here without needing a second copy.
        if (damagedFileCopy_.empty())
            keepDamagedFile_ = true;
        return;
    }
    friends_.SetSenderName(*read.sender);
    friends_.Assign(std::move(read.friends));
    ShowFriends();
    AddStatusLine("好友数据读取完毕！");
}

bool TfrmMain::SaveFriends() {
    ShowFriends();
    if (friendFileProtected_) {
        AddStatusLine("数据文件无法读取，为保护原有数据，本次修改未保存！");
        return false;
    }
    const std::wstring path = AppDirectory() + kFriendFile;
    if (keepDamagedFile_) {
        KeptCopy copy = KeepCopyBeside(path);
        if (copy.status == CopyStatus::Failed) {
            AddStatusLine("无法备份出错的数据文件，为保护原有数据，本次修改未保存！");
            return false;
        }
        keepDamagedFile_ = false;
        if (copy.status == CopyStatus::Made) {
            damagedFileCopy_ = copy.path;
            AddStatusLine("已将出错的数据文件原样备份为" + ToGbk(copy.path));
        }
    }
    if (WriteFileAtomic(path, WriteFriendFile(friends_.SenderName(), friends_.Entries()))) {
        damagedFileCopy_.clear();
        AddStatusLine("数据文件保存成功！");
        return true;
    }
    AddStatusLine("数据文件保存出错！恢复原有数据...");
    LoadFriends();
    return false;
}

void TfrmMain::PutOnTop() {
    SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void TfrmMain::FormShow() {
    // The fade itself is the form's (FormLayout::fades); no taskbar button, ever.
    ShowWindow(App().Handle(), SW_HIDE);
}

void TfrmMain::FormHide() {}

void TfrmMain::FormClose(CloseAction& action) {
    settings_.X = Left();
    settings_.Y = Top();
    try {
        SettingsStore().Save(settings_, kPositionGroup);
    } catch (const Exception&) {
        // The position is not stored; the close itself goes on, so that an unwritable
        // settings file can neither pin the window on screen nor block Exit.
    }
    if (ExitRequested) {
        try {
            TrayIcon.SetVisible(false);
        } catch (const Exception&) {
            // The shell that held the icon is gone or has restarted without it: there is
            // nothing left to remove, and a confirmed Exit must end the program whatever
            // the shell says.
        }
        // The form fades out on its way (Quit).
        action = CloseAction::Quit;
        return;
    }
    action = CloseAction::None;
    Hide();
}

void TfrmMain::mnExitClick() {
    int answer = ShowMessageBox(App().Handle(),
                                "退出后就无法拦截Windows信使信息，按“否”隐藏窗口，“是”退出。",
                                "请留步", MB_YESNO);
    if (answer == IDYES) {
        ExitRequested = true;
        Close();
        return;
    }
    Hide();
}

POINT TfrmMain::MainMenuPoint() const {
    RECT button = btMainMenu.Bounds();
    // The button's client position is added to the outer window edge as it stands, so the
    // menu opens a little above and left of the button's lower left corner.
    return POINT{Left() + button.left + 4, Top() + button.top + (button.bottom - button.top)};
}

void TfrmMain::btMainMenuClick() {
    POINT at = MainMenuPoint();
    mnMain.Popup(at.x, at.y);
}

void TfrmMain::lsbNamesMouseUp(MouseButton button) {
    POINT cursor{};
    GetCursorPos(&cursor);
    if (button != MouseButton::Right)
        return;
    // A right click does not select: the menu acts on the line selected before.
    if (lsbNames.ItemIndex() >= 0)
        mnFriend.Popup(cursor.x, cursor.y);
}

void TfrmMain::ShowModalAndPutOnTop(TForm* form) {
    if (!form)
        return;
    form->ShowModal();
    PutOnTop();
}

bool TfrmMain::SelectedFriendOrComplain(int& index) {
    std::optional<int> selected = SelectedFriend();
    index = selected.value_or(-1);
    if (selected)
        return true;
    ShowMessageBox(Handle(), "请先选择一个好友！", "选择好友", MB_OK);
    return false;
}

void TfrmMain::btAddClick() {
    if (windows_.frmFriend && windows_.frmFriend->OpenAdd())
        PutOnTop();
}

void TfrmMain::btEditClick() {
    int index;
    if (!SelectedFriendOrComplain(index))
        return;
    if (windows_.frmFriend && windows_.frmFriend->OpenEdit(index))
        PutOnTop();
}

void TfrmMain::btDeleteClick() {
    int index;
    if (!SelectedFriendOrComplain(index))
        return;
    std::string question = "确认删除好友" + friends_.At(index).name + "？";
    if (ShowMessageBox(Handle(), question, "手下留情", MB_YESNO) != IDYES)
        return;
    friends_.Remove(index);
    lsbNames.Delete(index);
    SaveFriends();
}

void TfrmMain::btTempSendClick() {
    if (!windows_.frmTempSend || !windows_.frmSend)
        return;
    bool opened = windows_.frmTempSend->Open();
    PutOnTop();
    // The send window is up on its own now: the keyboard goes to its text.
    if (opened)
        windows_.frmSend->BringForward();
}

void TfrmMain::lsbNamesDblClick() {
    // A double click on the empty part of the list, or no line selected: nothing to open.
    std::optional<int> index = SelectedFriend();
    if (!index || !windows_.frmSend)
        return;
    if (windows_.frmSend->OpenForFriend(*index))
        PutOnTop();
}

void TfrmMain::btStatusClick() {
    presence::RunQuery({*this, tmDelay, [this](bool enabled) {
                            btStatus.SetEnabled(enabled);
                            mnMain.SetItemEnabled(kMnStatus, enabled);
                            btClear.SetEnabled(enabled);
                        }});
}

void TfrmMain::btHistoryClick() {
    if (windows_.frmHistory)
        windows_.frmHistory->Show();
}

void TfrmMain::btSetClick() {
    mnSetClick();
}

void TfrmMain::btClearClick() {
    mmOutput.Clear();
}

void TfrmMain::mnSetClick() {
    if (!windows_.frmSet)
        return;
    // Already open (the tray menu stays usable while it is): it only came forward, and the
    // main window must not be put over it.
    if (windows_.frmSet->OpenModal())
        PutOnTop();
}

void TfrmMain::mnAddClick() {
    btAdd.Click();
}

void TfrmMain::mnStatusClick() {
    btStatus.Click();
}

void TfrmMain::mnHelpClick() {
    ShowModalAndPutOnTop(windows_.frmHelp);
}

void TfrmMain::mnAboutClick() {
    ShowModalAndPutOnTop(windows_.frmAbout);
}

void TfrmMain::W1Click() {
    ToggleVisible();
}

void TfrmMain::mnSendClick() {
    lsbNamesDblClick();
}

void TfrmMain::mnAddFriendClick() {
    btAdd.Click();
}

void TfrmMain::mnEditClick() {
    btEdit.Click();
}

void TfrmMain::mnDeleteClick() {
    btDelete.Click();
}

void TfrmMain::ToggleVisible() {
    if (Visible())
        Hide();
    else
        Show();
}

void TfrmMain::TrayIconClick() {
    // While tmFlash runs, unread messages wait: the click serves them, not the window.
    if (tmFlash.Enabled()) {
        if (windows_.frmReceive && !windows_.frmReceive->Visible())
            windows_.frmReceive->Show();
        return;
    }
    ToggleVisible();
}

void TfrmMain::TrayIconNoticeClick() {
    // Unlike the icon, a notification never hides the window: it was clicked to see.
    if (tmFlash.Enabled()) {
        TrayIconClick();
        return;
    }
    Show();
}

bool TfrmMain::ShowArrivalNotice(std::string_view title, std::string_view text) {
    return TrayIcon.ShowNotice(title, text);
}

void TfrmMain::hkMainHotKey() {
    TrayIconClick();
}

void TfrmMain::SetFlashing(bool on) {
    if (on != tmFlash.Enabled())
        tmFlash.SetEnabled(on);
}

void TfrmMain::tmFlashTimer() {
    TrayIcon.SetIconIndex(1 - TrayIcon.IconIndex());
}

void TfrmMain::tmReceiveTimer() {
    if (windows_.capture)
        windows_.capture->Tick();
}

} // namespace lv
