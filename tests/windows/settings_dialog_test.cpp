#include "TestSupport.h"

#include "app/Main.h"
#include "desktop/GlobalHotKey.h"
#include "framework/Gbk.h"
#include "framework/Registry.h"
#include "framework/Timer.h"
#include "settings/Set.h"

#include <memory>

namespace {

using lvtest::DataFolder;
using lvtest::MessageBoxes;

// Ctrl+Shift+F12 as the hot-key edit control holds it, and as a shortcut code.
constexpr uint16_t kCtrlShiftF12Control = (HOTKEYF_CONTROL | HOTKEYF_SHIFT) << 8 | VK_F12;
constexpr uint16_t kCtrlShiftF12Shortcut = 0x4000 | 0x2000 | VK_F12;

std::optional<std::string> RunValue() {
    lv::TRegistry registry;
    if (!registry.OpenKey(HKEY_LOCAL_MACHINE, lv::kRunKey, KEY_READ, false))
        return std::nullopt;
    return registry.ReadString(lv::kRunValue);
}

void SetRunValue(std::optional<std::string> value) {
    lv::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(HKEY_LOCAL_MACHINE, lv::kRunKey, KEY_ALL_ACCESS, true));
    if (value)
        registry.WriteString(lv::kRunValue, *value);
    else if (registry.ValueExists(lv::kRunValue))
        registry.DeleteValue(lv::kRunValue);
}

class SettingsDialog : public testing::Test {
  protected:
    SettingsDialog() {
        SetRunValue(std::nullopt);
        // A quit left in the queue by an earlier test (a confirmed Exit) would end the
        // dialog's modal loop before it ran.
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        lv::App().ResetTerminated();
    }
    ~SettingsDialog() override { SetRunValue(std::nullopt); }

    // The dialog comes after the main window, as at start-up; a test that needs a Run
    // value at creation sets it first.
    void Create() {
        set = std::make_unique<lv::TfrmSet>(*main);
        lv::TfrmMain::Windows windows;
        windows.frmSet = set.get();
        main->SetWindows(windows);
    }

    // Opens the dialog with the main window's command and runs `act` while it is up, as a
    // user's actions would; true when `act` left it open (it is then cancelled).
    bool WhileOpen(const std::function<void()>& act) {
        bool leftOpen = false;
        lv::TTimer timer;
        timer.SetInterval(20);
        timer.OnTimer = [&] {
            timer.SetEnabled(false);
            act();
            // Closing a modal dialog ends its loop once this handler returns; until then
            // only the modal result tells.
            leftOpen = set->Visible() && set->ModalResult() == 0;
            if (leftOpen)
                set->btCancelClick();
        };
        timer.SetEnabled(true);
        main->mnSetClick();
        return leftOpen;
    }

    std::string FriendFile() const { return dir.Read(L"FRIENDS.DAT"); }

    DataFolder dir;
    std::unique_ptr<lv::TfrmMain> main = std::make_unique<lv::TfrmMain>();
    std::unique_ptr<lv::TfrmSet> set;
};

TEST_F(SettingsDialog, OkStoresTheSixOptionsAndTheSenderNameAndAppliesThem) {
    dir.Write(L"Lumivale.ini", "[Position]\r\nX=5\r\nY=6\r\n");
    Create();
    bool leftOpen = WhileOpen([&] {
        set->edtSendName.SetText("张三");
        set->chkStartHide.SetChecked(true);
        set->cbEnableSound.SetChecked(false);
        set->cbEnableSoundClick();
        EXPECT_FALSE(set->edtSoundFile.Enabled());
        EXPECT_EQ(set->edtSoundFile.Color(), GetSysColor(COLOR_BTNFACE));
        set->edtSoundFile.SetText("C:\\声音\\叮.wav");
        set->cbAnimate.SetChecked(false);
        set->cbEnableHotkey.SetChecked(true);
        set->hkSet.SetValue(kCtrlShiftF12Control);
        set->btOKClick();
    });
    EXPECT_FALSE(leftOpen);
    EXPECT_EQ(dir.Read(L"Lumivale.ini"), "[Position]\r\nX=5\r\nY=6\r\n"
                                         "[Options]\r\n"
                                         "StartHide=1\r\n"
                                         "SoundFile=C:\\声音\\叮.wav\r\n"
                                         "EnableSound=0\r\n"
                                         "AnimateWindow=0\r\n"
                                         "EnableHotkey=1\r\n"
                                         "HotKey=" +
                                             std::to_string(kCtrlShiftF12Shortcut) + "\r\n");
    EXPECT_NE(FriendFile().find("张三"), std::string::npos);
    EXPECT_FALSE(main->CurrentSettings().EnableSound);
    EXPECT_FALSE(lv::App().AnimateWindows());
    EXPECT_EQ(main->MainHotKey().Key(), kCtrlShiftF12Shortcut);
    EXPECT_TRUE(main->MainHotKey().Registered());

    // The next opening shows the key in the control's own encoding again.
    WhileOpen([&] {
        EXPECT_EQ(set->hkSet.Value(), kCtrlShiftF12Control);
        EXPECT_TRUE(set->hkSet.Enabled());
        EXPECT_FALSE(set->cbEnableSound.Checked());
    });
}

// Whether `upper` lies above `lower` in the z-order.
bool IsAbove(HWND upper, HWND lower) {
    for (HWND w = GetWindow(upper, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        if (w == lower)
            return true;
    return false;
}

// The tray menu stays usable while the dialog is up: 设置 chosen there again must bring the
// open dialog forward with what the user has typed, not refill it or cover it.
TEST_F(SettingsDialog, SettingsChosenAgainWhileOpenKeepsWhatWasTyped) {
    Create();
    bool leftOpen = WhileOpen([&] {
        set->edtSendName.SetText("写到一半");
        set->cbEnableSound.SetChecked(false);
        set->cbEnableSoundClick();
        main->mnSetClick();
        EXPECT_TRUE(set->Visible());
        EXPECT_TRUE(set->Modal());
        EXPECT_EQ(set->edtSendName.Text(), "写到一半");
        EXPECT_FALSE(set->cbEnableSound.Checked());
        EXPECT_FALSE(set->edtSoundFile.Enabled());
        EXPECT_TRUE(IsAbove(set->Handle(), main->Handle())) << "the main window covers it";
        set->btOKClick();
    });
    EXPECT_FALSE(leftOpen);
    EXPECT_EQ(main->Friends().SenderName(), "写到一半");
    EXPECT_NE(FriendFile().find("写到一半"), std::string::npos);
    EXPECT_FALSE(main->CurrentSettings().EnableSound);
    EXPECT_TRUE(IsAbove(main->Handle(), set->Handle())) << "after it closes, the main window";
}

TEST_F(SettingsDialog, EmptyNameIsRefusedWithNothingAppliedButABlankIsAName) {
    Create();
    std::string friendsBefore = FriendFile();
    MessageBoxes boxes;
    boxes.Answer(IDOK);
    bool leftOpen = WhileOpen([&] {
        set->edtSendName.SetText("");
        set->cbEnableSound.SetChecked(false);
        set->btOKClick();
    });
    EXPECT_TRUE(leftOpen);
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].text, "请输入一个名字");
    EXPECT_EQ(boxes.asked[0].caption, "错误");
    EXPECT_EQ(boxes.asked[0].owner, set->Handle());
    EXPECT_FALSE(dir.Exists(L"Lumivale.ini"));
    EXPECT_EQ(FriendFile(), friendsBefore);
    EXPECT_TRUE(main->CurrentSettings().EnableSound);

    EXPECT_FALSE(WhileOpen([&] {
        set->edtSendName.SetText(" ");
        set->btOKClick();
    }));
    EXPECT_EQ(main->Friends().SenderName(), " ");
    EXPECT_TRUE(dir.Exists(L"Lumivale.ini"));
}

TEST_F(SettingsDialog, CancelledUntickKeepsTheRunValueAndTheNextOkRemovesIt) {
    std::string self = lv::ToGbk(lv::ExecutablePath());
    SetRunValue(self);
    Create();
    EXPECT_TRUE(set->cbAutoStart.Checked());
    WhileOpen([&] {
        set->cbAutoStart.SetChecked(false);
        set->btCancelClick();
    });
    EXPECT_EQ(RunValue(), self);
    WhileOpen([&] {
        EXPECT_FALSE(set->cbAutoStart.Checked()) << "the abandoned state is shown again";
        set->btOKClick();
    });
    EXPECT_EQ(RunValue(), std::nullopt);
    EXPECT_FALSE(set->AutoStartWas());
}

TEST_F(SettingsDialog, RunValueIsTouchedOnlyWhenTheBoxChanges) {
    // An entry for a copy elsewhere is not ours: the box is unticked and OK leaves it.
    SetRunValue("C:\\别处\\Lumivale.exe");
    Create();
    EXPECT_FALSE(set->cbAutoStart.Checked());
    WhileOpen([&] { set->btOKClick(); });
    EXPECT_EQ(RunValue(), "C:\\别处\\Lumivale.exe");

    WhileOpen([&] {
        set->cbAutoStart.SetChecked(true);
        set->btOKClick();
    });
    EXPECT_EQ(RunValue(), lv::ToGbk(lv::ExecutablePath()));
    EXPECT_TRUE(set->AutoStartWas());
}

TEST_F(SettingsDialog, UnwritableSettingsFileIsReportedAndTheDialogStaysOpen) {
    dir.Block(L"Lumivale.ini");
    Create();
    MessageBoxes boxes;
    boxes.Answer(IDOK);
    bool leftOpen = WhileOpen([&] {
        set->edtSendName.SetText("李四");
        set->cbAutoStart.SetChecked(true);
        set->btOKClick();
    });
    EXPECT_TRUE(leftOpen);
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].text.rfind("Unable to write to ", 0), 0u) << boxes.asked[0].text;
    EXPECT_NE(FriendFile().find("李四"), std::string::npos) << "the name is not lost";
    EXPECT_EQ(RunValue(), std::nullopt) << "OK stopped at the settings file";
}

TEST_F(SettingsDialog, SenderNameThatCannotBeStoredIsReportedAndTheRestOfOkGoesOn) {
    dir.Block(L"FRIENDS.DAT");
    Create();
    MessageBoxes boxes;
    boxes.Answer(IDOK);
    EXPECT_FALSE(WhileOpen([&] {
        set->edtSendName.SetText("赵六");
        set->btOKClick();
    }));
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].text, "发送者名字未能保存到数据文件FRIENDS.DAT！");
    EXPECT_EQ(boxes.asked[0].owner, set->Handle());
    EXPECT_TRUE(dir.Exists(L"Lumivale.ini"));
}

TEST_F(SettingsDialog, HotKeyConflictIsOwnedByTheDialogAndNothingIsSaved) {
    HWND rival = CreateWindowExW(0, L"STATIC", L"rival", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_TRUE(RegisterHotKey(rival, 1, MOD_CONTROL | MOD_SHIFT, VK_F12));
    Create();
    std::string friendsBefore = FriendFile();
    MessageBoxes boxes;
    boxes.Answer(IDOK);
    bool leftOpen = WhileOpen([&] {
        set->edtSendName.SetText("王五");
        set->cbEnableHotkey.SetChecked(true);
        set->hkSet.SetValue(kCtrlShiftF12Control);
        set->btOKClick();
    });
    UnregisterHotKey(rival, 1);
    DestroyWindow(rival);
    EXPECT_TRUE(leftOpen);
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].text, "热键冲突，请重新设置一个热键！");
    EXPECT_EQ(boxes.asked[0].caption, "Lumivale");
    EXPECT_EQ(boxes.asked[0].owner, set->Handle());
    EXPECT_FALSE(dir.Exists(L"Lumivale.ini"));
    EXPECT_EQ(FriendFile(), friendsBefore);
}

} // namespace
