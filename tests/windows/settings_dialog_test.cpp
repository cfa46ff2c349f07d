#include "TestSupport.h"

#include "app/Main.h"
#include "desktop/GlobalHotKey.h"
#include "framework/Gbk.h"
#include "framework/Registry.h"
#include "framework/Timer.h"
#include "settings/Set.h"

#include <sddl.h>

#include <memory>

namespace {

using lvtest::DataFolder;
using lvtest::IsAbove;
using lvtest::MessageBoxes;

// Ctrl+Shift+F12 as the hot-key edit control holds it, and as a shortcut code.
constexpr uint16_t kCtrlShiftF12Control = (HOTKEYF_CONTROL | HOTKEYF_SHIFT) << 8 | VK_F12;
constexpr uint16_t kCtrlShiftF12Shortcut = 0x4000 | 0x2000 | VK_F12;

// The Run value under `root` (HKEY_CURRENT_USER, where the dialog writes it, unless said).
std::optional<std::wstring> RunValue(HKEY root = HKEY_CURRENT_USER) {
    lv::TRegistry registry;
    if (!registry.OpenKey(root, lv::kRunKey, KEY_READ, false))
        return std::nullopt;
    return registry.ReadWideString(lv::kRunValue);
}

void SetRunValue(HKEY root, std::optional<std::wstring> value) {
    lv::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(root, lv::kRunKey, KEY_ALL_ACCESS, true));
    if (value)
        registry.WriteWideString(lv::kRunValue, *value);
    else if (registry.ValueExists(lv::kRunValue))
        registry.DeleteValue(lv::kRunValue);
}

const std::wstring kSelf = lv::ExecutablePath();
const std::wstring kQuotedSelf = L"\"" + kSelf + L"\"";

class SettingsDialog : public testing::Test {
  protected:
    SettingsDialog() {
        SetRunValue(HKEY_CURRENT_USER, std::nullopt);
        SetRunValue(HKEY_LOCAL_MACHINE, std::nullopt);
        // A quit left in the queue by an earlier test (a confirmed Exit) would end the
        // dialog's modal loop before it ran.
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        lv::App().ResetTerminated();
    }
    ~SettingsDialog() override {
        SetRunValue(HKEY_CURRENT_USER, std::nullopt);
        SetRunValue(HKEY_LOCAL_MACHINE, std::nullopt);
    }

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
        EXPECT_TRUE(set->cbNotice.Checked()) << "notifications are on by default";
        set->cbNotice.SetChecked(false);
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
                                             std::to_string(kCtrlShiftF12Shortcut) +
                                             "\r\n"
                                             "ArrivalNotice=0\r\n"
                                             "ShowReceived=0\r\n");
    EXPECT_NE(FriendFile().find("张三"), std::string::npos);
    EXPECT_FALSE(main->CurrentSettings().EnableSound);
    EXPECT_FALSE(main->CurrentSettings().ArrivalNotice);
    EXPECT_FALSE(lv::App().AnimateWindows());
    EXPECT_EQ(main->MainHotKey().Key(), kCtrlShiftF12Shortcut);
    EXPECT_TRUE(main->MainHotKey().Registered());

    // The next opening shows the key in the control's own encoding again.
    WhileOpen([&] {
        EXPECT_EQ(set->hkSet.Value(), kCtrlShiftF12Control);
        EXPECT_TRUE(set->hkSet.Enabled());
        EXPECT_FALSE(set->cbEnableSound.Checked());
        EXPECT_FALSE(set->cbNotice.Checked());
    });
}

// OK saves the friend file whatever the name: a first FRIENDS.DAT is written, and the
// status area says so, even when the name was left as it was.
TEST_F(SettingsDialog, OkWithTheNameUnchangedStillWritesTheFriendFile) {
    Create();
    ASSERT_FALSE(dir.Exists(L"FRIENDS.DAT"));
    std::string name = main->Friends().SenderName();
    EXPECT_FALSE(WhileOpen([&] { set->btOKClick(); }));
    EXPECT_TRUE(dir.Exists(L"FRIENDS.DAT"));
    EXPECT_NE(FriendFile().find(name), std::string::npos);
    std::vector<std::string> lines = main->mmOutput.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "数据文件保存成功！"), lines.end());
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
    SetRunValue(HKEY_CURRENT_USER, kQuotedSelf);
    Create();
    EXPECT_TRUE(set->cbAutoStart.Checked());
    WhileOpen([&] {
        set->cbAutoStart.SetChecked(false);
        set->btCancelClick();
    });
    EXPECT_EQ(RunValue(), kQuotedSelf);
    WhileOpen([&] {
        EXPECT_FALSE(set->cbAutoStart.Checked()) << "the abandoned state is shown again";
        set->btOKClick();
    });
    EXPECT_EQ(RunValue(), std::nullopt);
    EXPECT_FALSE(set->AutoStartWas());
}

TEST_F(SettingsDialog, RunValueIsTouchedOnlyWhenTheBoxChanges) {
    // An entry for a copy elsewhere is not ours: the box is unticked and OK leaves it.
    SetRunValue(HKEY_LOCAL_MACHINE, L"C:\\别处\\Lumivale.exe");
    Create();
    EXPECT_FALSE(set->cbAutoStart.Checked());
    WhileOpen([&] { set->btOKClick(); });
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), L"C:\\别处\\Lumivale.exe");

    // Ticked: the per-user value, the path quoted; the other copy's entry stays.
    WhileOpen([&] {
        set->cbAutoStart.SetChecked(true);
        set->btOKClick();
    });
    EXPECT_EQ(RunValue(), kQuotedSelf);
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), L"C:\\别处\\Lumivale.exe");
    EXPECT_TRUE(set->AutoStartWas());
}

// However an older installation or the user wrote the value, it counts when it starts this
// executable, and unticking removes it from both keys.
TEST_F(SettingsDialog, AnyValueThatStartsThisProgramIsShownTickedAndRemovedWithOurs) {
    std::wstring upper = kSelf;
    CharUpperW(upper.data());
    std::wstring shortPath(MAX_PATH, L'\0');
    shortPath.resize(GetShortPathNameW(kSelf.c_str(), shortPath.data(), MAX_PATH));
    struct Case {
        const char* what;
        HKEY root;
        std::wstring value;
        bool ours;
    } cases[] = {
        {"machine-wide, unquoted, as older versions wrote it", HKEY_LOCAL_MACHINE, kSelf, true},
        {"other case", HKEY_LOCAL_MACHINE, upper, true},
        {"quoted with an argument and blanks", HKEY_CURRENT_USER, L"  " + kQuotedSelf + L" /hide",
         true},
        {"short name", HKEY_CURRENT_USER, L"\"" + shortPath + L"\"", true},
        {"a longer name beginning with ours", HKEY_CURRENT_USER, kSelf + L".old", false},
        {"quotes around part of it", HKEY_CURRENT_USER, L"\"C:\\\" " + kSelf, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetRunValue(c.root, c.value);
        Create();
        EXPECT_EQ(set->cbAutoStart.Checked(), c.ours);
        if (c.ours) {
            WhileOpen([&] {
                set->cbAutoStart.SetChecked(false);
                set->btOKClick();
            });
            EXPECT_EQ(RunValue(c.root), std::nullopt);
        }
        SetRunValue(c.root, std::nullopt);
    }
}

// A standard user: the machine-wide key may be read but not changed (here a key of the test's
// own whose permissions refuse changes stands in for it).
class SettingsDialogStandardUser : public SettingsDialog {
  protected:
    SettingsDialogStandardUser() {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\LumivaleTest");
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\LumivaleTest\\User", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &user, nullptr);
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\LumivaleTest\\Machine", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &machine, nullptr);
        lv::SetAutoStartRoots(user, machine);
    }
    ~SettingsDialogStandardUser() override {
        lv::SetAutoStartRoots(nullptr, nullptr);
        RegCloseKey(user);
        RegCloseKey(machine);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\LumivaleTest");
    }
    // The machine-wide Run key with `value`, refusing every later change of its values.
    void MachineWideValue(const std::wstring& value) {
        RegDeleteTreeW(machine, lv::ToWide(lv::kRunKey).c_str());
        SetRunValue(machine, value);
        lv::TRegistry run;
        ASSERT_TRUE(run.OpenKey(machine, lv::kRunKey, KEY_ALL_ACCESS, false));
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:(D;;0x0002;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1, &readOnly, nullptr));
        ASSERT_EQ(RegSetKeySecurity(run.Handle(), DACL_SECURITY_INFORMATION, readOnly),
                  ERROR_SUCCESS);
        LocalFree(readOnly);
    }

    HKEY user = nullptr;
    HKEY machine = nullptr;
};

TEST_F(SettingsDialogStandardUser, TickWritesThePerUserValueAndAMachineWideOneIsReportedOnce) {
    MachineWideValue(L"C:\\别处\\Lumivale.exe");
    Create();
    EXPECT_FALSE(set->cbAutoStart.Checked());
    EXPECT_FALSE(WhileOpen([&] {
        set->cbAutoStart.SetChecked(true);
        set->btOKClick();
    })) << "no box, the dialog closes";
    EXPECT_EQ(RunValue(user), kQuotedSelf);
    WhileOpen([&] {
        set->cbAutoStart.SetChecked(false);
        set->btOKClick();
    });
    EXPECT_EQ(RunValue(user), std::nullopt);

    // An older installation's machine-wide value for this program: ticked; unticking removes
    // the per-user value, says that the other stays, and shows the box ticked again.
    MachineWideValue(kSelf);
    SetRunValue(user, kQuotedSelf);
    Create();
    EXPECT_TRUE(set->cbAutoStart.Checked());
    MessageBoxes boxes;
    boxes.Answer(IDOK);
    EXPECT_FALSE(WhileOpen([&] {
        set->cbAutoStart.SetChecked(false);
        set->btOKClick();
    }));
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_NE(boxes.asked[0].text.find("管理员"), std::string::npos) << boxes.asked[0].text;
    EXPECT_EQ(boxes.asked[0].owner, set->Handle());
    EXPECT_EQ(RunValue(user), std::nullopt);
    EXPECT_EQ(RunValue(machine), kSelf);
    EXPECT_TRUE(set->AutoStartWas());
    WhileOpen([&] {
        EXPECT_TRUE(set->cbAutoStart.Checked());
        set->btOKClick();
    });
    EXPECT_EQ(boxes.asked.size(), 1u) << "a later OK does not ask again";
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
