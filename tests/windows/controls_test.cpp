#include "TestSupport.h"

#include "framework/Controls.h"
#include "framework/Dialogs.h"
#include "framework/Exception.h"
#include "framework/Form.h"
#include "framework/Gbk.h"
#include "framework/Registry.h"
#include "framework/Timer.h"

namespace {

using lvtest::PumpUntil;

class ControlsForm : public lvtest::TestForm {
  public:
    ControlsForm() : TestForm("控件") {}
};

// Characters as a user's typing delivers them, one WM_CHAR each.
void Type(HWND hwnd, const std::wstring& text) {
    for (wchar_t c : text)
        SendMessageW(hwnd, WM_CHAR, c, 1);
}

TEST(Edit, TextRoundTripsAndTypingStopsAtTheLimit) {
    ControlsForm form;
    lv::TEdit edit;
    edit.Create(form, 500, "初始", 10, 10, 200, 21);
    EXPECT_EQ(edit.Text(), "初始");
    int changes = 0;
    edit.OnChange = [&] { ++changes; };

    // 乗 ends in 0x5C and 亅 in 0x7C: bytes a byte-wise conversion would take for "\" and "|".
    for (const char* text : {"张三 abc", "C:\\乗\\亅|x", ""}) {
        edit.SetText(text);
        EXPECT_EQ(edit.Text(), text);
    }

    edit.SetMaxLength(4);
    EXPECT_EQ(edit.MaxLength(), 4);
    changes = 0;
    Type(edit.Handle(), L"你好abcd");
    EXPECT_EQ(edit.Text(), "你好ab") << "typing went past the limit";
    // Wine also reports a change for a refused character; Windows does not.
    EXPECT_GE(changes, 4) << "typing did not reach OnChange";

    edit.SetMaxLength(0);
    Type(edit.Handle(), L"cd");
    EXPECT_EQ(edit.Text(), "你好abcd") << "a lifted limit still refuses typing";
}

TEST(Edit, ReadOnlyRefusesTypingUntilLifted) {
    ControlsForm form;
    lv::TEdit edit;
    edit.Create(form, 500, "固定", 10, 10, 200, 21);
    EXPECT_FALSE(edit.ReadOnly());
    edit.SetReadOnly(true);
    EXPECT_TRUE(edit.ReadOnly());
    SendMessageW(edit.Handle(), EM_SETSEL, 2, 2);
    Type(edit.Handle(), L"x字");
    SendMessageW(edit.Handle(), WM_CHAR, VK_BACK, 1);
    EXPECT_EQ(edit.Text(), "固定");
    edit.SetText("程序可改");
    EXPECT_EQ(edit.Text(), "程序可改") << "read-only binds the user, not the program";

    edit.SetReadOnly(false);
    EXPECT_FALSE(edit.ReadOnly());
    SendMessageW(edit.Handle(), EM_SETSEL, 4, 4);
    Type(edit.Handle(), L"!");
    EXPECT_EQ(edit.Text(), "程序可改!");
}

TEST(CheckBox, StateRoundTripsAndAClickTogglesThenRunsOnClick) {
    ControlsForm form;
    form.Show();
    lv::TCheckBox box;
    box.Create(form, 501, "开机自动运行", 10, 10, 150, 17);
    EXPECT_EQ(box.Text(), "开机自动运行");
    std::vector<bool> seenInHandler;
    box.OnClick = [&] { seenInHandler.push_back(box.Checked()); };

    EXPECT_FALSE(box.Checked());
    box.SetChecked(true);
    EXPECT_TRUE(box.Checked());
    box.SetChecked(false);
    EXPECT_FALSE(box.Checked());
    EXPECT_TRUE(seenInHandler.empty()) << "setting the state is not a click";

    SendMessageW(box.Handle(), BM_CLICK, 0, 0);
    SendMessageW(box.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(seenInHandler, (std::vector<bool>{true, false}))
        << "OnClick must run once per click and see the new state";

    // A BN_CLICKED from outside (a driver) reaches the handler the same way.
    SendMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(501, BN_CLICKED),
                 reinterpret_cast<LPARAM>(box.Handle()));
    EXPECT_EQ(seenInHandler.size(), 3u);
}

TEST(HotKey, ShortcutCodesRoundTripAndForbiddenCombinationsBecomeCtrlAlt) {
    ControlsForm form;
    lv::THotKey hotKey;
    hotKey.Create(form, 502, 10, 10, 150, 21);
    EXPECT_EQ(hotKey.Value(), 0);
    // Every modifier flag alone and together, an extended key, and a high byte with bits
    // that are no modifier at all: the settings file keeps whatever the control reported.
    for (uint16_t code : {0x0041, 0x0141, 0x0241, 0x0441, 0x0841, 0x0F70, 0x065A, 0xC041, 0xFFFF}) {
        hotKey.SetValue(code);
        EXPECT_EQ(hotKey.Value(), code) << std::hex << code;
    }

    hotKey.SetRules(HKCOMB_NONE | HKCOMB_S, HOTKEYF_CONTROL | HOTKEYF_ALT);
    struct Case {
        std::vector<WORD> modifiers;
        uint16_t expected;
    } cases[] = {
        {{}, 0x0641},
        {{VK_SHIFT}, 0x0641},
        {{VK_CONTROL}, 0x0241},
        {{VK_SHIFT, VK_CONTROL}, 0x0341},
        {{VK_MENU}, 0x0441},
    };
    for (const Case& c : cases) {
        hotKey.SetValue(0);
        for (WORD key : c.modifiers)
            SendMessageW(hotKey.Handle(), WM_KEYDOWN, key, 1);
        SendMessageW(hotKey.Handle(), WM_KEYDOWN, 'A', 1);
        SendMessageW(hotKey.Handle(), WM_KEYUP, 'A', 0xC0000001);
        for (WORD key : c.modifiers)
            SendMessageW(hotKey.Handle(), WM_KEYUP, key, 0xC0000001);
        EXPECT_EQ(hotKey.Value(), c.expected) << c.modifiers.size() << " modifiers";
    }
}

bool IconAlive(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info))
        return false;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return true;
}

TEST(Image, HoldsWhatItIsGivenAndFreesTheReplacedAndTheLast) {
    ControlsForm form;
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
    ReleaseDC(nullptr, screen);
    HICON icon = CopyIcon(LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION)));
    ASSERT_TRUE(bitmap && icon);
    HWND window = nullptr;
    {
        lv::TImage image;
        image.Create(form, 503, 8, 8, 128, 128);
        window = image.Handle();
        image.SetBitmap(bitmap);
        EXPECT_EQ(image.Bitmap(), bitmap);
        EXPECT_TRUE(SendMessageW(window, STM_GETIMAGE, IMAGE_BITMAP, 0)) << "no bitmap shown";

        image.SetIcon(icon);
        EXPECT_EQ(GetObjectType(bitmap), 0u) << "the replaced bitmap was not freed";
        EXPECT_EQ(image.Bitmap(), nullptr);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, STM_GETIMAGE, IMAGE_ICON, 0)), icon);
        RECT r = image.Bounds();
        EXPECT_EQ(r.right - r.left, 128) << "the control took the image's size";
    }
    EXPECT_FALSE(IconAlive(icon)) << "the last icon outlived its control";
    if (IsWindow(window)) {
        EXPECT_EQ(SendMessageW(window, STM_GETIMAGE, IMAGE_ICON, 0), 0)
            << "a window left behind still paints a freed icon";
    }
}

TEST(StaticText, LabelAndPanelShowTheirCaptionsAsGiven) {
    ControlsForm form;
    lv::TLabel label;
    label.Create(form, 504, "好友名称：", 10, 10, 100, 13);
    lv::TPanel panel;
    panel.Create(form, 505, "", 8, 8, 145, 153);
    EXPECT_EQ(label.Text(), "好友名称：");
    EXPECT_EQ(panel.Text(), "");
    label.SetText("A&B 张三");
    panel.SetText("面板");
    EXPECT_EQ(label.Text(), "A&B 张三");
    EXPECT_EQ(panel.Text(), "面板");
}

class BogusControl : public lv::TControl {
  public:
    void Create(lv::TForm& form) {
        CreateControl(form, 506, L"LumivaleNoSuchClass", "", 0, 0, 0, 0, 10, 10);
    }
};

TEST(Controls, AFailedCreationRaisesInsteadOfLeavingANullControl) {
    ControlsForm form;
    BogusControl bogus;
    try {
        bogus.Create(form);
        FAIL() << "a control without a window was accepted";
    } catch (const lv::Exception& e) {
        EXPECT_NE(std::string(e.what()).find("LumivaleNoSuchClass"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(bogus.Handle(), nullptr);
    // The form goes on working with the controls that did get made.
    lv::TLabel label;
    label.Create(form, 507, "仍可用", 0, 0, 50, 13);
    EXPECT_EQ(label.Text(), "仍可用");
}

void SendCommand(HWND owner, int id) {
    SendMessageW(owner, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

TEST(PopupMenu, GreyedItemsDoNotRunAndEnabledOnesRunFromTheFormsCommand) {
    ControlsForm form;
    lv::TPopupMenu menu;
    menu.Create(form);
    std::vector<int> ran;
    menu.AddDisabled(600, "标题");
    menu.AddSeparator();
    menu.Add(601, "发送(&S)", [&] { ran.push_back(601); });
    menu.Add(602, "删除(&D)", [&] { ran.push_back(602); });

    EXPECT_FALSE(menu.ItemEnabled(600));
    EXPECT_TRUE(menu.ItemEnabled(601));
    EXPECT_FALSE(menu.ItemEnabled(999)) << "no such item";

    menu.SetItemEnabled(602, false);
    EXPECT_FALSE(menu.ItemEnabled(602));
    EXPECT_FALSE(menu.Items()[3].enabled);
    EXPECT_TRUE(menu.Items()[2].enabled) << "disabling one item touched another";
    SendCommand(form.Handle(), 602);
    SendCommand(form.Handle(), 600);
    SendCommand(form.Handle(), 601);
    EXPECT_EQ(ran, std::vector<int>{601}) << "a greyed item ran";

    menu.SetItemEnabled(602, true);
    EXPECT_TRUE(menu.ItemEnabled(602));
    PostMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(602, 0), 0);
    EXPECT_TRUE(PumpUntil([&] { return ran.size() == 2; }, 2000));
    EXPECT_EQ(ran, (std::vector<int>{601, 602}));
}

TEST(PopupMenu, AMenuOfAPlainWindowRunsItsItemsAndLetsOtherCommandsThrough) {
    // A message-only window, as a tray icon has: no form, no command table of its own.
    HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(owner);
    int shown = 0, exited = 0;
    {
        lv::TPopupMenu tray;
        tray.Create(owner);
        tray.Add(700, "显示窗口", [&] { ++shown; });
        tray.Add(701, "退出", [&] { ++exited; });
        SendCommand(owner, 700);
        SendCommand(owner, 701);
        SendCommand(owner, 702);
        EXPECT_EQ(shown, 1);
        EXPECT_EQ(exited, 1);

        // Two menus on one owner each take their own items.
        lv::TPopupMenu second;
        second.Create(owner);
        int other = 0;
        second.Add(702, "其他", [&] { ++other; });
        SendCommand(owner, 702);
        SendCommand(owner, 700);
        EXPECT_EQ(other, 1);
        EXPECT_EQ(shown, 2);
    }
    SendCommand(owner, 700);
    EXPECT_EQ(shown, 2) << "a destroyed menu still answered its owner's commands";
    DestroyWindow(owner);

    // The owner may also go first.
    HWND shortLived = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
    lv::TPopupMenu orphan;
    orphan.Create(shortLived);
    orphan.Add(703, "x", [] {});
    DestroyWindow(shortLived);
    EXPECT_FALSE(orphan.Click(999));
}

TEST(PopupMenu, ChoosingAnItemRunsItsHandlerOnce) {
    ControlsForm form;
    form.Show();
    lv::TPopupMenu menu;
    menu.Create(form);
    std::vector<int> ran;
    menu.AddDisabled(800, "标题");
    menu.Add(801, "一", [&] { ran.push_back(801); });
    menu.Add(802, "二", [&] { ran.push_back(802); });
    menu.SetItemEnabled(801, false);
    // The menu's own loop reads these: up to the last item, Enter. The timer ends the menu
    // should the keys go astray, so the test cannot hang.
    lv::TTimer guard;
    guard.SetInterval(3000);
    guard.OnTimer = [&] {
        guard.SetEnabled(false);
        EndMenu();
    };
    guard.SetEnabled(true);
    PostMessageW(form.Handle(), WM_KEYDOWN, VK_UP, 1);
    PostMessageW(form.Handle(), WM_KEYDOWN, VK_RETURN, 1);
    RECT r = form.Bounds();
    menu.Popup(r.left + 20, r.top + 20);
    guard.SetEnabled(false);
    // Run as chosen, and not once more by a WM_COMMAND arriving afterwards.
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(ran, std::vector<int>{802});
}

TEST(OpenDialog, FilterSplitsOnTheBarAfterConversion) {
    EXPECT_EQ(lv::OpenDialogFilter("Wave File|*.wav"), std::wstring(L"Wave File\0*.wav\0\0", 17));
    // 亅 is 81 7C in GBK: splitting the bytes would cut the character in two.
    EXPECT_EQ(lv::OpenDialogFilter("声音亅|*.wav|全部|*.*"),
              std::wstring(L"声音\u4e85\0*.wav\0全部\0*.*\0\0", 18));
}

TEST(OpenDialog, TheTestHookAnswersAndCancelKeepsTheName) {
    ControlsForm form;
    std::vector<lv::OpenDialogRequest> asked;
    std::optional<std::string> answer = "C:\\声音\\消息.wav";
    lv::SetOpenDialogHandler([&](const lv::OpenDialogRequest& request) {
        asked.push_back(request);
        return answer;
    });
    lv::TOpenDialog dialog;
    dialog.SetFilter("Wave File|*.wav");
    dialog.SetFileName("C:\\old.wav");
    EXPECT_TRUE(dialog.Execute(form.Handle()));
    EXPECT_EQ(dialog.FileName(), "C:\\声音\\消息.wav");
    answer.reset();
    EXPECT_FALSE(dialog.Execute(form.Handle()));
    EXPECT_EQ(dialog.FileName(), "C:\\声音\\消息.wav") << "Cancel changed the file name";
    lvtest::InstallUnexpectedOpenDialogHandler();

    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].owner, form.Handle());
    EXPECT_EQ(asked[0].filter, "Wave File|*.wav");
    EXPECT_EQ(asked[0].fileName, "C:\\old.wav");
    EXPECT_EQ(asked[1].fileName, "C:\\声音\\消息.wav");
}

// Each case runs under a key of its own, removed afterwards whatever happened.
class Registry : public testing::Test {
  protected:
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\LumivaleTest"); }
    static bool KeyExists(const wchar_t* path) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
};

TEST_F(Registry, OpeningWithoutCreateLeavesAMissingKeyMissing) {
    lv::TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(HKEY_CURRENT_USER, "Software\\LumivaleTest\\Run", KEY_READ, false));
    EXPECT_FALSE(reg.IsOpen());
    EXPECT_FALSE(KeyExists(L"Software\\LumivaleTest"));
    EXPECT_EQ(reg.ReadString("x"), std::nullopt);
    EXPECT_FALSE(reg.WriteString("x", "y")) << "wrote without an open key";

    ASSERT_TRUE(reg.OpenKey(HKEY_CURRENT_USER, "Software\\LumivaleTest\\Run", KEY_ALL_ACCESS, true));
    EXPECT_TRUE(KeyExists(L"Software\\LumivaleTest\\Run"));
    // 乗 ends in 0x5C: converted as bytes, it would split into a key path of two levels.
    ASSERT_TRUE(reg.OpenKey(HKEY_CURRENT_USER, "Software\\LumivaleTest\\乗", KEY_ALL_ACCESS, true));
    EXPECT_TRUE(KeyExists(L"Software\\LumivaleTest\\\u4e57"));
    reg.CloseKey();
    EXPECT_FALSE(reg.IsOpen());
}

TEST_F(Registry, StringsRoundTripAtAnyLengthAndDeleteLeavesNothing) {
    lv::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(HKEY_CURRENT_USER, "Software\\LumivaleTest", KEY_ALL_ACCESS, true));
    std::string longValue;
    for (int i = 0; i < 3000; ++i)
        longValue += "路径";
    struct Case {
        const char* name;
        std::string value;
    } cases[] = {
        {"Lumivale", "\"C:\\程序\\Lumivale.exe\" /hide"},
        {"空", ""},
        {"Long", longValue},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(reg.ValueExists(c.name));
        ASSERT_TRUE(reg.WriteString(c.name, c.value));
        EXPECT_TRUE(reg.ValueExists(c.name));
        EXPECT_EQ(reg.ReadString(c.name), c.value) << c.name;
    }

    // Read through a second object, as the next start of the program would.
    lv::TRegistry again;
    ASSERT_TRUE(again.OpenKey(HKEY_CURRENT_USER, "Software\\LumivaleTest", KEY_READ, false));
    EXPECT_EQ(again.ReadString("lumivale"), cases[0].value) << "names ignore case";

    EXPECT_TRUE(reg.DeleteValue("Lumivale"));
    EXPECT_FALSE(reg.ValueExists("Lumivale"));
    EXPECT_EQ(again.ReadString("Lumivale"), std::nullopt);
    EXPECT_FALSE(reg.DeleteValue("Lumivale")) << "deleting nothing reported success";

    DWORD number = 7;
    RegSetValueExW(reg.Handle(), L"Number", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number),
                   sizeof number);
    EXPECT_TRUE(reg.ValueExists("Number"));
    EXPECT_EQ(reg.ReadString("Number"), std::nullopt) << "a DWORD read as text";
    // Written by someone else without the closing NUL.
    RegSetValueExW(reg.Handle(), L"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"abc"), 6);
    EXPECT_EQ(reg.ReadString("Bare"), "abc");
}

} // namespace
