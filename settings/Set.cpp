#include "settings/Set.h"

#include "desktop/GlobalHotKey.h"
#include "desktop/ShortcutCode.h"
#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Files.h"
#include "framework/MessageBox.h"
#include "framework/Palette.h"
#include "settings/SettingsStore.h"

namespace lv {
namespace {

// Ctrl+Alt+A, what the hot-key field shows until the program's own key replaces it.
constexpr uint16_t kInitialHotKey = 49217;

} // namespace

TfrmSet::TfrmSet(MainHub& hub) : hub_(hub) {
    FormLayout layout;
    layout.caption = "Lumivale设置";
    layout.clientWidth = 287;
    layout.clientHeight = 341;
    CreateForm(layout);
    CreateControls();
    FormCreate();
}

void TfrmSet::CreateControls() {
    // Creation order is the tab order. The group boxes are frames only: the controls "in"
    // them are the dialog's own children, placed at the group's offset, so that their
    // notifications reach the dialog.
    gbSender.Create(*this, kSetGroupSender, "发送者名字", 8, 8, 273, 81);
    edtSendName.Create(*this, kEdtSendName, "", 16, 32, 249, 21);
    edtSendName.SetColor(kWhite);
    lbSendName.Create(*this, kLbSendName, "请输入你想在发送的信息中显示的名字", 16, 64, 249, 13);
    btOK.Create(*this, kSetBtOK, "确定(&O)", 120, 312, 75, 25);
    btCancel.Create(*this, kSetBtCancel, "取消(&C)", 200, 312, 75, 25);
    gbOther.Create(*this, kSetGroupOther, "其他设置", 8, 232, 273, 73);
    chkStartHide.Create(*this, kChkStartHide, "启动时隐藏主窗口", 24, 256, 217, 17);
    cbAnimate.Create(*this, kCbAnimate, "启用窗口特效", 160, 256, 105, 17);
    cbAutoStart.Create(*this, kCbAutoStart, "随Windows启动", 24, 280, 153, 17);
    // In the room right of 随Windows启动, within the group's frame.
    cbNotice.Create(*this, kCbNotice, "新信息通知", 180, 280, 93, 17);
    gbSound.Create(*this, kSetGroupSound, "消息声音", 8, 96, 273, 73);
    cbEnableSound.Create(*this, kCbEnableSound, "启用", 16, 112, 97, 17);
    edtSoundFile.Create(*this, kEdtSoundFile, "", 16, 136, 217, 21);
    btBrowse.Create(*this, kBtBrowse, "..", 240, 136, 25, 25);
    gbHotkey.Create(*this, kSetGroupHotkey, "热键设置", 8, 176, 273, 49);
    cbEnableHotkey.Create(*this, kCbEnableHotkey, "启用", 16, 192, 73, 17);
    cbEnableHotkey.SetChecked(true);
    hkSet.Create(*this, kHkSet, 80, 192, 185, 19);
    // A system-wide key without a modifier, or with Shift alone, would take a key the user
    // types everywhere; the control turns such an entry into Ctrl+Alt with that key.
    hkSet.SetRules(HKCOMB_NONE | HKCOMB_S, HOTKEYF_CONTROL | HOTKEYF_ALT);
    hkSet.SetValue(HotKeyControlFromShortcut(kInitialHotKey));
    OpenD.SetFilter("Wave File|*.wav");

    SetDefaultButton(&btOK);
    SetCancelButton(&btCancel);
    btOK.OnClick = [this] { btOKClick(); };
    btCancel.OnClick = [this] { btCancelClick(); };
    cbEnableSound.OnClick = [this] { cbEnableSoundClick(); };
    btBrowse.OnClick = [this] { btBrowseClick(); };
    cbEnableHotkey.OnClick = [this] { cbEnableHotkeyClick(); };
}

void TfrmSet::FormCreate() {
    chkStartHide.SetChecked(SettingsStore().Load({}).StartHide);

    // Ticked as well for a machine-wide entry of an older installation: Windows starts this
    // program from it all the same.
    cbAutoStart.SetChecked(ReadAutoStart(ExecutablePath()).On());
    autoStartWas_ = cbAutoStart.Checked();
}

bool TfrmSet::OpenModal() {
    if (Modal()) {
        ShowModal(); // only brings it to the front
        return false;
    }
    TGlobalHotKey& hotKey = hub_.MainHotKey();
    cbEnableHotkey.SetChecked(hotKey.Enabled());
    hkSet.SetValue(HotKeyControlFromShortcut(hotKey.Key()));
    hkSet.SetEnabled(hotKey.Enabled());
    edtSendName.SetText(hub_.Friends().SenderName());
    const Settings& settings = hub_.CurrentSettings();
    cbEnableSound.SetChecked(settings.EnableSound);
    edtSoundFile.SetText(settings.SoundFile);
    cbNotice.SetChecked(settings.ArrivalNotice);
    ShowSoundFileState();
    FocusControl(edtSendName);
    ShowModal();
    return true;
}

void TfrmSet::FormShow() {
    cbAnimate.SetChecked(hub_.CurrentSettings().AnimateWindow);
}

void TfrmSet::ShowSoundFileState() {
    bool on = cbEnableSound.Checked();
    btBrowse.SetEnabled(on);
    edtSoundFile.SetEnabled(on);
    edtSoundFile.SetColor(on ? kWhite : GetSysColor(COLOR_BTNFACE));
}

void TfrmSet::btOKClick() {
    std::string name = edtSendName.Text();
    // A name of blanks is a name: only an empty one is refused.
    if (name.empty()) {
        ShowMessageBox(Handle(), "请输入一个名字", "错误", MB_OK);
        return;
    }

    TGlobalHotKey& hotKey = hub_.MainHotKey();
    uint16_t key = ShortcutFromHotKeyControl(hkSet.Value());
    hotKey.SetEnabled(cbEnableHotkey.Checked());
    hotKey.SetHotKey(key);
    if (hotKey.Enabled() && !hotKey.Registered()) {
        ShowMessageBox(Handle(), "热键冲突，请重新设置一个热键！", "Lumivale", MB_OK);
        return;
    }

    // Saved at every OK, changed or not: it is how a first FRIENDS.DAT comes to be written
    // and how the user sees "数据文件保存成功！" for the name. A new name that did not reach
    // the file is lost at the next start (or at once, when the old file is read back after
    // the failed write): the user must hear of it.
    FriendList& friends = hub_.Friends();
    bool renamed = friends.SenderName() != name;
    friends.SetSenderName(name);
    if (!hub_.SaveFriends() && renamed)
        ShowMessageBox(Handle(), "发送者名字未能保存到数据文件FRIENDS.DAT！", "错误", MB_OK);

    Settings settings = hub_.CurrentSettings();
    settings.SoundFile = edtSoundFile.Text();
    settings.EnableSound = cbEnableSound.Checked();
    settings.AnimateWindow = cbAnimate.Checked();
    settings.StartHide = chkStartHide.Checked();
    settings.EnableHotkey = cbEnableHotkey.Checked();
    settings.HotKey = key;
    settings.ArrivalNotice = cbNotice.Checked();
    hub_.ApplySettings(settings);
    try {
        SettingsStore().Save(settings, kOptionsGroup);
    } catch (const Exception&) {
        // The framework's error box names the file; the dialog stays open so that the user
        // can free the file and press OK again.
        App().HandleException(std::current_exception());
        return;
    }

    if (cbAutoStart.Checked() != autoStartWas_)
        ChangeAutoStart(cbAutoStart.Checked());

    SetModalResult(IDOK);
    Close();
}

void TfrmSet::ChangeAutoStart(bool on) {
    const std::wstring self = ExecutablePath();
    AutoStartResult result =
        on ? (WriteAutoStart(self) ? AutoStartResult::kDone : AutoStartResult::kFailed)
           : RemoveAutoStart(self);
    switch (result) {
    case AutoStartResult::kDone:
        autoStartWas_ = on;
        break;
    case AutoStartResult::kFailed:
        // The old state stays in AutoStartWas, so the next OK tries again.
        ShowMessageBox(Handle(), "无法修改注册表，“随Windows启动”的设置未能保存。", "Lumivale",
                       MB_OK);
        break;
    case AutoStartResult::kMachineWideKept:
        // The box shows what Windows will do; unticked, every later OK would try again and
        // show this box again.
        autoStartWas_ = true;
        cbAutoStart.SetChecked(true);
        ShowMessageBox(Handle(),
                       "本用户的启动项已删除，但旧版本为本机所有用户写入的启动项需要管理员权限"
                       "才能删除，Lumivale仍会随Windows启动。请以管理员身份运行Lumivale后取消"
                       "“随Windows启动”。",
                       "Lumivale", MB_OK);
        break;
    }
}

void TfrmSet::btCancelClick() {
    Close();
}

void TfrmSet::cbEnableSoundClick() {
    ShowSoundFileState();
}

void TfrmSet::btBrowseClick() {
    OpenD.SetFileName(edtSoundFile.Text());
    if (OpenD.Execute(Handle()))
        edtSoundFile.SetText(OpenD.FileName());
}

void TfrmSet::cbEnableHotkeyClick() {
    hkSet.SetEnabled(cbEnableHotkey.Checked());
}

} // namespace lv
