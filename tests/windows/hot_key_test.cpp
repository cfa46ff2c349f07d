#include "TestSupport.h"

#include "app/Main.h"
#include "desktop/GlobalHotKey.h"
#include "framework/MessageWindow.h"

#include <memory>
#include <string>

namespace {

using lvtest::DataFolder;
using lvtest::MessageBoxes;

// Combinations nothing else on a desktop uses: Ctrl+Alt+Shift+F9 and +F10.
constexpr uint16_t kCtrlAltShiftF9 = 0xE000 | VK_F9;
constexpr uint16_t kCtrlAltShiftF10 = 0xE000 | VK_F10;
constexpr UINT kAllModifiers = MOD_ALT | MOD_CONTROL | MOD_SHIFT;

// Another holder of hot keys, as another program would be: its own window, so the
// system sees two different owners.
class OtherProgram {
  public:
    bool Hold(UINT vk) { return held_ = RegisterHotKey(window_.Handle(), 7, kAllModifiers, vk); }
    void Release() {
        if (held_)
            UnregisterHotKey(window_.Handle(), 7);
        held_ = false;
    }
    ~OtherProgram() { Release(); }
    // Whether the component holds `vk` now: only then can nobody else take it.
    bool CanTake(UINT vk) {
        bool free = Hold(vk);
        Release();
        return free;
    }

  private:
    lv::MessageWindow window_;
    bool held_ = false;
};

TEST(HotKey, HeldKeyFailsAndTheSameKeyAgainMakesNoNewAttemptButEnablingDoes) {
    OtherProgram other;
    ASSERT_TRUE(other.Hold(VK_F9));
    lv::TGlobalHotKey hotKey;
    hotKey.SetHotKey(kCtrlAltShiftF9);
    EXPECT_FALSE(hotKey.Registered());
    EXPECT_TRUE(hotKey.Enabled());

    other.Release();
    hotKey.SetHotKey(kCtrlAltShiftF9); // would succeed now, if it tried
    EXPECT_FALSE(hotKey.Registered());
    EXPECT_TRUE(other.CanTake(VK_F9));

    hotKey.SetEnabled(true);
    EXPECT_TRUE(hotKey.Registered());
    EXPECT_FALSE(other.CanTake(VK_F9));
}

TEST(HotKey, NothingHeldUntilAskedAndDisablingChangingAndDestroyingReleaseTheKey) {
    OtherProgram other;
    auto hotKey = std::make_unique<lv::TGlobalHotKey>();
    EXPECT_EQ(GetAncestor(hotKey->KeyWindowHandle(), GA_PARENT), GetDesktopWindow());
    EXPECT_FALSE(IsWindowVisible(hotKey->KeyWindowHandle()));
    EXPECT_TRUE(hotKey->Enabled());
    EXPECT_FALSE(hotKey->Registered());
    // Bits 8-12 do not reach the registration: this is Ctrl+Alt+Shift+F9.
    hotKey->SetHotKey(kCtrlAltShiftF9 | 0x1F00);
    ASSERT_TRUE(hotKey->Registered());
    EXPECT_FALSE(other.CanTake(VK_F9));

    hotKey->SetEnabled(false);
    EXPECT_FALSE(hotKey->Registered());
    EXPECT_TRUE(other.CanTake(VK_F9));
    hotKey->SetEnabled(true); // the same key again, without a change of Key
    EXPECT_TRUE(hotKey->Registered());
    EXPECT_FALSE(other.CanTake(VK_F9));

    hotKey->SetHotKey(kCtrlAltShiftF10);
    EXPECT_TRUE(hotKey->Registered());
    EXPECT_TRUE(other.CanTake(VK_F9));
    EXPECT_FALSE(other.CanTake(VK_F10));

    hotKey.reset();
    EXPECT_TRUE(other.CanTake(VK_F10));
}

// The settings dialog is modal: its loop must hand the key window its WM_HOTKEY too.
TEST(HotKey, PressReachesOnHotKeyWhileAModalDialogRuns) {
    lvtest::TestForm dialog;
    lv::TGlobalHotKey hotKey;
    bool duringModal = false;
    hotKey.OnHotKey = [&] {
        duringModal = dialog.Modal();
        dialog.SetModalResult(IDOK);
    };
    PostMessageW(hotKey.KeyWindowHandle(), WM_HOTKEY, 0, 0);
    PostMessageW(dialog.Handle(), WM_CLOSE, 0, 0); // ends the loop should the key be lost
    dialog.ShowModal();
    EXPECT_TRUE(duringModal);
    lv::App().ProcessMessages();
}

class HotKeyMainWindow : public testing::Test {
  protected:
    void WriteSettings(uint16_t key) {
        dir.Write(L"Lumivale.ini", "[Options]\r\nAnimateWindow=0\r\nEnableHotkey=1\r\nHotKey=" +
                                       std::to_string(key) + "\r\n");
    }
    void PressHotKey() {
        SendMessageW(main->hkMain.KeyWindowHandle(), WM_HOTKEY, 0,
                     MAKELPARAM(kAllModifiers, VK_F9));
    }
    DataFolder dir;
    std::unique_ptr<lv::TfrmMain> main;
};

TEST_F(HotKeyMainWindow, KeyHeldElsewhereShowsTheConflictBoxAtStartAndStaysEnabled) {
    OtherProgram other;
    ASSERT_TRUE(other.Hold(VK_F9));
    WriteSettings(kCtrlAltShiftF9);
    MessageBoxes boxes;
    boxes.Answer(IDOK);
    main = std::make_unique<lv::TfrmMain>();
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].text, "热键冲突，请重新设置一个热键！");
    EXPECT_EQ(boxes.asked[0].caption, "Lumivale");
    EXPECT_EQ(boxes.asked[0].owner, main->Handle());
    EXPECT_EQ(boxes.asked[0].type & MB_TYPEMASK, static_cast<UINT>(MB_OK));
    EXPECT_TRUE(main->hkMain.Enabled());
    EXPECT_EQ(main->hkMain.Key(), kCtrlAltShiftF9);
    EXPECT_FALSE(main->hkMain.Registered());
    EXPECT_EQ(&main->MainHotKey(), &main->hkMain);
}

TEST_F(HotKeyMainWindow, PressTogglesTheWindowUnlessReceivedMessagesWait) {
    WriteSettings(kCtrlAltShiftF9);
    main = std::make_unique<lv::TfrmMain>();
    ASSERT_TRUE(main->hkMain.Registered());
    ASSERT_FALSE(main->Visible());
    PressHotKey();
    EXPECT_TRUE(main->Visible());
    PressHotKey();
    EXPECT_FALSE(main->Visible());

    main->tmFlash.SetEnabled(true);
    PressHotKey();
    EXPECT_FALSE(main->Visible());
    main->tmFlash.SetEnabled(false);
}

} // namespace
