#include "TestSupport.h"

#include "app/Main.h"
#include "capture/Receive.h"
#include "info/Help.h"
#include "framework/Gbk.h"

namespace {

using lvtest::DataFolder;
using lvtest::MessageBoxes;
using lvtest::PumpUntil;

class MainWindow : public testing::Test {
  protected:
    DataFolder dir;
    std::unique_ptr<lv::TfrmMain> main = std::make_unique<lv::TfrmMain>();
};

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 63);
    return name;
}

TEST_F(MainWindow, EveryControlSitsWhereTheLayoutPutsIt) {
    struct Row {
        lv::TControl* control;
        int id;
        const wchar_t* windowClass;
        RECT place; // left, top, right, bottom in client pixels
        const char* caption;
        const char* hint;
    } rows[] = {
        {&main->GroupBox1, lv::kGroupBox1, L"Button", {0, 0, 137, 345}, "好友管理", ""},
        {&main->btAdd, lv::kBtAdd, L"Button", {8, 16, 65, 41}, "添加(&A)", ""},
        {&main->btDelete, lv::kBtDelete, L"Button", {72, 16, 129, 41}, "删除(&D)", ""},
        {&main->btEdit, lv::kBtEdit, L"Button", {8, 40, 65, 65}, "编辑(&E)", ""},
        {&main->btTempSend, lv::kBtTempSend, L"Button", {72, 40, 129, 65}, "临发(&T)", ""},
        {&main->lsbNames, lv::kLsbNames, L"ListBox", {8, 72, 129, 337}, "", ""},
        {&main->btStatus,
         lv::kBtStatus,
         L"Button",
         {0, 352, 65, 377},
         "查询好友",
         "查询好友的在线状态"},
        {&main->btHistory,
         lv::kBtHistory,
         L"Button",
         {72, 352, 137, 377},
         "聊天记录",
         "查看聊天记录"},
        {&main->mmOutput, lv::kMmOutput, L"Edit", {0, 384, 137, 529}, "", ""},
        {&main->btMainMenu, lv::kBtMainMenu, L"Button", {8, 536, 49, 561}, "主菜单", ""},
        {&main->btSet, lv::kBtSet, L"Button", {56, 536, 89, 561}, "设", "设置"},
        {&main->btClear, lv::kBtClear, L"Button", {96, 536, 129, 561}, "清", "清空状态区信息"},
    };
    main->btClearClick();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.caption[0] ? row.caption : std::to_string(row.id).c_str());
        HWND hwnd = row.control->Handle();
        EXPECT_EQ(GetParent(hwnd), main->Handle());
        EXPECT_EQ(GetDlgCtrlID(hwnd), row.id);
        EXPECT_EQ(GetDlgItem(main->Handle(), row.id), hwnd);
        EXPECT_EQ(_wcsicmp(ClassOf(hwnd).c_str(), row.windowClass), 0);
        RECT r = row.control->Bounds();
        EXPECT_EQ(r.left, row.place.left);
        EXPECT_EQ(r.top, row.place.top);
        EXPECT_EQ(r.right, row.place.right);
        EXPECT_EQ(r.bottom, row.place.bottom);
        EXPECT_EQ(row.control->Text(), row.caption);
        EXPECT_EQ(main->HintOf(*row.control), row.hint);
    }
}

TEST_F(MainWindow, IsAFixedTopmostPanelOfTheDocumentedSizeAndLook) {
    EXPECT_EQ(main->Caption(), "Lumivale");
    RECT client{};
    GetClientRect(main->Handle(), &client);
    EXPECT_EQ(client.right, 138);
    EXPECT_EQ(client.bottom, 565);
    LONG style = GetWindowLongW(main->Handle(), GWL_STYLE);
    LONG exStyle = GetWindowLongW(main->Handle(), GWL_EXSTYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_FALSE(main->Visible()) << "windows are created hidden";

    LONG listStyle = GetWindowLongW(main->lsbNames.Handle(), GWL_STYLE);
    EXPECT_FALSE(listStyle & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL));
    EXPECT_EQ(main->lsbNames.ItemHeight(), 13);
    LONG memoStyle = GetWindowLongW(main->mmOutput.Handle(), GWL_STYLE);
    EXPECT_TRUE(memoStyle & ES_READONLY);
    EXPECT_TRUE(memoStyle & ES_MULTILINE);
    EXPECT_TRUE(memoStyle & WS_VSCROLL);

    struct FontRow {
        HWND hwnd;
        int height;
    } fonts[] = {{main->btAdd.Handle(), -13},
                 {main->lsbNames.Handle(), -13},
                 {main->mmOutput.Handle(), -12}};
    for (const FontRow& f : fonts) {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(f.hwnd, WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        EXPECT_EQ(font.lfHeight, f.height);
        EXPECT_EQ(lv::ToGbk(font.lfFaceName), "宋体");
        EXPECT_EQ(font.lfCharSet, GB2312_CHARSET);
    }

    // The colours as the controls will paint them: what the form answers WM_CTLCOLOR*.
    struct ColourRow {
        HWND hwnd;
        UINT message;
        COLORREF colour;
    } colours[] = {{main->lsbNames.Handle(), WM_CTLCOLORLISTBOX, RGB(166, 202, 240)},
                   {main->mmOutput.Handle(), WM_CTLCOLORSTATIC, RGB(192, 220, 192)}};
    HDC dc = CreateCompatibleDC(nullptr);
    for (const ColourRow& c : colours) {
        auto brush = reinterpret_cast<HBRUSH>(SendMessageW(main->Handle(), c.message,
                                                           reinterpret_cast<WPARAM>(dc),
                                                           reinterpret_cast<LPARAM>(c.hwnd)));
        LOGBRUSH lb{};
        ASSERT_TRUE(GetObjectW(brush, sizeof lb, &lb));
        EXPECT_EQ(lb.lbColor, c.colour);
        EXPECT_EQ(GetBkColor(dc), c.colour);
    }
    DeleteDC(dc);
}

TEST_F(MainWindow, MenusHoldTheirItemsInOrder) {
    using Item = lv::TPopupMenu::Item;
    std::vector<Item> mainItems = {{lv::kMnTitle, "Lumivale", false, false},
                                   {0, "", true, true},
                                   {lv::kMnSet, "设置(&S)", false, true},
                                   {lv::kMnAdd, "添加好友(&D)", false, true},
                                   {lv::kMnStatus, "查询好友(&T)", false, true},
                                   {0, "", true, true},
                                   {lv::kMnHelp, "帮助(&H)", false, true},
                                   {lv::kMnAbout, "关于(&A)", false, true},
                                   {0, "", true, true},
                                   {lv::kMnShowHide, "隐藏/显示窗口(&W)", false, true},
                                   {lv::kMnExit, "退出(&E)", false, true}};
    std::vector<Item> friendItems = {{lv::kMnSend, "发送(&S)", false, true},
                                     {lv::kMnAddFriend, "添加(&A)", false, true},
                                     {lv::kMnEdit, "编辑(&E)", false, true},
                                     {lv::kMnDelete, "删除(&D)", false, true}};
    struct Case {
        const lv::TPopupMenu& menu;
        const std::vector<Item>& items;
    } cases[] = {{main->mnMain, mainItems}, {main->mnFriend, friendItems}};
    for (const Case& c : cases) {
        std::vector<Item> got = c.menu.Items();
        ASSERT_EQ(got.size(), c.items.size());
        for (size_t i = 0; i < got.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(got[i].separator, c.items[i].separator);
            EXPECT_EQ(got[i].caption, c.items[i].caption);
            if (got[i].separator)
                continue;
            EXPECT_EQ(got[i].enabled, c.items[i].enabled);
            EXPECT_EQ(got[i].id, c.items[i].id);
        }
    }
}

TEST_F(MainWindow, MenuCommandsReachTheirHandlers) {
    // The show/hide item as the menu sends it (WM_COMMAND with the item's ID).
    lv::App().SetAnimateWindows(false);
    SendMessageW(main->Handle(), WM_COMMAND, lv::kMnShowHide, 0);
    EXPECT_TRUE(main->Visible());
    SendMessageW(main->Handle(), WM_COMMAND, lv::kMnShowHide, 0);
    EXPECT_FALSE(main->Visible());
    // The clear button pressed from outside, as a tool posts it.
    main->AddStatusLine("x");
    SendMessageW(main->btClear.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(main->mmOutput.LineCount(), 0);
    main->AddStatusLine("next");
    EXPECT_EQ(main->mmOutput.Line(0), "next") << "after clearing, the next line starts at the top";
}

TEST_F(MainWindow, MainMenuOpensBelowTheButtonFromTheOuterWindowEdge) {
    main->SetPosition(300, 200);
    POINT at = main->MainMenuPoint();
    EXPECT_EQ(at.x, 300 + 8 + 4);
    EXPECT_EQ(at.y, 200 + 536 + 25);
}

// Looks for an open popup menu while one may be tracked, and closes it.
bool MenuOpensDuring(const std::function<void()>& action) {
    bool seen = false;
    lv::TTimer probe;
    probe.SetInterval(50);
    probe.OnTimer = [&] {
        probe.SetEnabled(false);
        HWND menu = FindWindowW(L"#32768", nullptr);
        seen = menu && IsWindowVisible(menu);
        EndMenu();
    };
    probe.SetEnabled(true);
    action();
    PumpUntil([&] { return !probe.Enabled(); }, 2000);
    return seen;
}

TEST_F(MainWindow, FriendMenuOnlyOnRightButtonWithASelectedFriend) {
    const char file[] = "1 2 \0S\0A\0a\0B\0b\0END";
    dir.Write(L"FRIENDS.DAT", std::string(file, sizeof file - 1));
    main = nullptr;
    main = std::make_unique<lv::TfrmMain>();
    lv::App().SetAnimateWindows(false);
    main->Show();
    ASSERT_EQ(main->lsbNames.Count(), 2);
    EXPECT_FALSE(MenuOpensDuring([&] { main->lsbNamesMouseUp(lv::MouseButton::Right); }))
        << "no line selected";
    main->lsbNames.SetItemIndex(1);
    EXPECT_FALSE(MenuOpensDuring([&] { main->lsbNamesMouseUp(lv::MouseButton::Left); }));
    EXPECT_TRUE(MenuOpensDuring([&] { main->lsbNamesMouseUp(lv::MouseButton::Right); }));
    EXPECT_EQ(main->lsbNames.ItemIndex(), 1);
}

TEST_F(MainWindow, TrayClickAndHotKeyServeWaitingMessagesBeforeTheWindow) {
    lv::TfrmReceive receive(*main);
    // Two wait: showing the first leaves the icon blinking.
    receive.EnqueueMessage("body", "sender");
    receive.EnqueueMessage("body 2", "sender");
    lv::TfrmMain::Windows windows;
    windows.frmReceive = &receive;
    main->SetWindows(windows);
    lv::App().SetAnimateWindows(false);

    main->tmFlash.SetEnabled(true);
    main->TrayIconClick();
    EXPECT_TRUE(receive.Visible());
    EXPECT_FALSE(main->Visible()) << "the main window is not touched while messages wait";
    main->hkMainHotKey();
    EXPECT_TRUE(receive.Visible());
    EXPECT_FALSE(main->Visible());

    main->tmFlash.SetEnabled(false);
    receive.Hide();
    main->hkMainHotKey();
    EXPECT_TRUE(main->Visible());
    EXPECT_FALSE(receive.Visible());
    main->TrayIconClick();
    EXPECT_FALSE(main->Visible());
    EXPECT_FALSE(dir.Exists(L"Lumivale.ini")) << "hiding this way stores no position";
}

TEST_F(MainWindow, ModalWindowsFromTheMenuReturnAndTheMainWindowIsOnTopAgain) {
    lv::TfrmAbout about(main->VersionText);
    dir.Write(L"README.TXT", "help\r\n");
    lv::TfrmHelp help;
    lv::TfrmMain::Windows windows;
    windows.frmAbout = &about;
    windows.frmHelp = &help;
    main->SetWindows(windows);
    lv::App().SetAnimateWindows(false);
    main->Show();
    struct Case {
        lv::TForm& form;
        void (lv::TfrmMain::*open)();
    } cases[] = {{about, &lv::TfrmMain::mnAboutClick}, {help, &lv::TfrmMain::mnHelpClick}};
    for (const Case& c : cases) {
        bool mainDisabled = false;
        // Another topmost window comes above the main window while the modal one is open;
        // the main window must be back above it once the modal one has closed.
        HWND rival = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"rival",
                                     WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        lv::TTimer closer;
        closer.SetInterval(30);
        closer.OnTimer = [&] {
            closer.SetEnabled(false);
            mainDisabled = !IsWindowEnabled(main->Handle());
            SetWindowPos(rival, HWND_TOPMOST, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
            c.form.Close();
        };
        closer.SetEnabled(true);
        ((*main).*c.open)();
        EXPECT_TRUE(mainDisabled) << c.form.Caption();
        EXPECT_FALSE(c.form.Visible());
        EXPECT_TRUE(IsWindowEnabled(main->Handle()));
        EXPECT_TRUE(GetWindowLongW(main->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
        bool rivalBelow = false;
        for (HWND h = GetWindow(main->Handle(), GW_HWNDNEXT); h; h = GetWindow(h, GW_HWNDNEXT))
            rivalBelow = rivalBelow || h == rival;
        EXPECT_TRUE(rivalBelow) << c.form.Caption() << ": main window not put back on top";
        DestroyWindow(rival);
    }
}

// Renders an icon over magenta and counts the pixels it changed.
int PaintedPixels(HICON icon) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 16;
    info.bmiHeader.biHeight = -16;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    auto* px = static_cast<uint32_t*>(bits);
    for (int i = 0; i < 256; ++i)
        px[i] = 0x00FF00FF;
    DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
    GdiFlush();
    int changed = 0;
    for (int i = 0; i < 256; ++i)
        changed += (px[i] & 0x00FFFFFF) != 0x00FF00FF;
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return changed;
}

TEST_F(MainWindow, TrayImagesAreAPictureAndAWhollyTransparentOne) {
    ASSERT_EQ(main->imgList.Count(), 2);
    HICON normal = main->imgList.GetIcon(0);
    HICON blank = main->imgList.GetIcon(1);
    EXPECT_GT(PaintedPixels(normal), 100);
    EXPECT_EQ(PaintedPixels(blank), 0) << "the blink image must leave the tray place empty";
    DestroyIcon(normal);
    DestroyIcon(blank);
    EXPECT_TRUE(SendMessageW(main->Handle(), WM_GETICON, ICON_SMALL, 0));
}

} // namespace
