#include "app/Main.h"

#include "app/Icons.h"
#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Files.h"
#include "framework/Gbk.h"
#include "framework/MessageBox.h"

#include <algorithm>
#include <memory>

namespace lv {

bool DelayElapsed = false;

namespace {

const wchar_t kFriendFile[] = L"FRIENDS.DAT";
const wchar_t kSettingsFile[] = L"Lumivale.ini";

} // namespace

TfrmMain::TfrmMain() {
    FormLayout layout;
    layout.caption = "Lumivale";
    layout.clientWidth = 138;
    layout.clientHeight = 565;
    layout.position = POINT{0, 0}; // LoadSettings places the window
    CreateForm(layout);
    CreateControls();
    FormCreate();
}

TfrmMain::~TfrmMain() {
    DestroyHandle();
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

    tmFlash.SetInterval(500);
    tmFlash.SetEnabled(false);
    tmDelay.SetEnabled(false);
    tmDelay.OnTimer = [this] { tmDelayTimer(); };
}

void TfrmMain::FormCreate() {
    ExitRequested = false;
    VersionText = "1.32";
    TrayHint = "Lumivale " + VersionText + " by Kestro";
    AddStatusLine("欢迎使用Lumivale！");
    AddStatusLine("当前版本：" + VersionText);
    AddStatusLine("");
    LoadSettings();
    LoadFriends();
}

void TfrmMain::OpenSettingsFile() {
    SettingsFile = std::make_unique<TIniFile>(AppDirectory() + kSettingsFile);
}

void TfrmMain::CloseSettingsFile() {
    SettingsFile.reset();
}

void TfrmMain::LoadSettings() {
    OpenSettingsFile();
    int defaultX = GetSystemMetrics(SM_CXSCREEN) - Width() - 10;
    int defaultY = (GetSystemMetrics(SM_CYSCREEN) - Height()) / 2;
    int x = SettingsFile->ReadInteger("Position", "X", defaultX);
    SetPosition(x, Top());
    int y = SettingsFile->ReadInteger("Position", "Y", defaultY);
    SetPosition(Left(), y);
    SoundFilePath =
        SettingsFile->ReadString("Options", "SoundFile", ToGbk(AppDirectory()) + "msg.wav");
    SoundEnabled = SettingsFile->ReadBool("Options", "EnableSound", true);
    AnimateWindows = SettingsFile->ReadBool("Options", "AnimateWindow", true);
    HotKey = 0;
    HotKeyEnabled = SettingsFile->ReadBool("Options", "EnableHotkey", true);
    HotKey = static_cast<uint16_t>(SettingsFile->ReadInteger("Options", "HotKey", 0) & 0xFFFF);
    CloseSettingsFile();
}

void TfrmMain::AddStatusLine(std::string_view gbk) {
    if (App().IsMainThread()) {
        mmOutput.AppendLine(gbk);
        return;
    }
    // The memo belongs to the main thread; the line travels there whole, and the posted
    // messages of one thread keep their order.
    App().Post([this, line = std::string(gbk)] { mmOutput.AppendLine(line); });
}

std::string TfrmMain::FriendNameByAddress(std::string_view address) {
    // Shared, not on this stack: if the program ends first, the closure may outlive us.
    auto name = std::make_shared<std::string>(kUnknownFriend);
    App().Send(
        [this, name, address = std::string(address)] { *name = FindFriendName(*this, address); });
    return *name;
}

void TfrmMain::LoadFriends() {
    AddStatusLine("正在读取好友数据..");
    lsbNames.Clear();
    std::optional<std::string> bytes = ReadWholeFile(AppDirectory() + kFriendFile);
    if (!bytes) {
        AddStatusLine("未找到数据文件！请添加好友，并设置发送者的名字。");
        FriendCount = 0;
        SenderName = "Sender";
        return;
    }
    FriendFileRead read = ReadFriendFile(*bytes);
    if (read.version)
        AddStatusLine("数据文件版本:" + std::to_string(*read.version) + ".0");
    if (read.count)
        AddStatusLine("好友个数：" + std::to_string(*read.count));
    if (read.sender)
        AddStatusLine("发送者名字：" + *read.sender);
    if (read.damaged) {
        // The list box stays empty, and so does the list behind it: entries that no line
        // shows could otherwise be edited or saved blind.
        FriendCount = 0;
        SenderName = read.sender ? *read.sender : "Sender";
        AddStatusLine("数据文件出错！建议删除错误的数据文件Friends.dat，然后重新运行本软件。");
        return;
    }
    SenderName = *read.sender;
    FriendCount = static_cast<int>(read.friends.size());
    for (size_t i = 0; i < read.friends.size(); ++i) {
        FriendNames[i] = read.friends[i].name;
        FriendAddresses[i] = read.friends[i].address;
        lsbNames.Add(FriendNames[i]);
    }
    AddStatusLine("好友数据读取完毕！");
}

void TfrmMain::SaveFriends() {
    lv::FriendList list;
    list.sender = SenderName;
    int count = std::clamp(FriendCount, 0, kMaxFriends);
    for (int i = 0; i < count; ++i)
        list.friends.push_back(
            Friend{FriendNames[static_cast<size_t>(i)], FriendAddresses[static_cast<size_t>(i)]});
    if (WriteFileAtomic(AppDirectory() + kFriendFile, WriteFriendFile(list))) {
        AddStatusLine("数据文件保存成功！");
        return;
    }
    AddStatusLine("数据文件保存出错！恢复原有数据...");
    LoadFriends();
}

void TfrmMain::PutOnTop() {
    SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void TfrmMain::FormShow() {
    if (AnimateWindows) {
        AnimateWindow(Handle(), 200, AW_BLEND);
        // After the fade the controls have not painted themselves.
        for (HWND child = GetWindow(Handle(), GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            ShowWindow(child, SW_HIDE);
            ShowWindow(child, SW_SHOW);
        }
    }
    ShowWindow(App().Handle(), SW_HIDE);
}

void TfrmMain::FormHide() {
    if (AnimateWindows)
        AnimateWindow(Handle(), 200, AW_HIDE | AW_BLEND);
}

void TfrmMain::FormClose(CloseAction& action) {
    try {
        OpenSettingsFile();
        SettingsFile->WriteInteger("Position", "X", Left());
        SettingsFile->WriteInteger("Position", "Y", Top());
    } catch (const Exception&) {
        // The position is not stored; the close itself goes on, so that an unwritable
        // settings file can neither pin the window on screen nor block Exit.
    }
    CloseSettingsFile();
    if (ExitRequested) {
        if (Visible() && AnimateWindows)
            AnimateWindow(Handle(), 200, AW_HIDE | AW_BLEND);
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
    index = lsbNames.ItemIndex();
    if (index >= 0 && index < FriendCount)
        return true;
    ShowMessageBox(Handle(), "请先选择一个好友！", "选择好友", MB_OK);
    return false;
}

void TfrmMain::btAddClick() {
    ShowModalAndPutOnTop(windows_.frmFriend);
}

void TfrmMain::btEditClick() {
    int index;
    if (!SelectedFriendOrComplain(index))
        return;
    ShowModalAndPutOnTop(windows_.frmFriend);
}

void TfrmMain::btDeleteClick() {
    int index;
    if (!SelectedFriendOrComplain(index))
        return;
    std::string question = "确认删除好友" + FriendNames[static_cast<size_t>(index)] + "？";
    if (ShowMessageBox(Handle(), question, "手下留情", MB_YESNO) != IDYES)
        return;
    for (int j = index; j < FriendCount - 1; ++j) {
        FriendNames[static_cast<size_t>(j)] = FriendNames[static_cast<size_t>(j + 1)];
        FriendAddresses[static_cast<size_t>(j)] = FriendAddresses[static_cast<size_t>(j + 1)];
    }
    --FriendCount;
    lsbNames.Delete(index);
    SaveFriends();
}

void TfrmMain::btTempSendClick() {
    ShowModalAndPutOnTop(windows_.frmTempSend);
}

void TfrmMain::lsbNamesDblClick() {
    if (lsbNames.ItemIndex() < 0)
        return;
    ShowModalAndPutOnTop(windows_.frmSend);
}

void TfrmMain::btStatusClick() {
    // The presence query arrives with its own worker; until then the button asks nothing.
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
    ShowModalAndPutOnTop(windows_.frmSet);
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

void TfrmMain::hkMainHotKey() {
    TrayIconClick();
}

void TfrmMain::tmDelayTimer() {
    tmDelay.SetEnabled(false);
    DelayElapsed = true;
}

} // namespace lv
