#include "TestSupport.h"

#include "app/Main.h"
#include "desktop/Trayicon.h"
#include "framework/Exception.h"

#include <memory>

namespace {

using lv::TTrayIconMessage;
using lvtest::DataFolder;
using lvtest::MessageBoxes;

// What the shell would have been told, in order. Its answer is `accept`.
struct ShellCalls {
    struct Call {
        DWORD message;
        NOTIFYICONDATAW data;
    };
    ShellCalls() {
        lv::SetShellNotifyHandler([this](DWORD message, const NOTIFYICONDATAW& data) {
            calls.push_back({message, data});
            return accept;
        });
    }
    ~ShellCalls() { lvtest::InstallAcceptingShell(); }
    int Count(DWORD message) const {
        int n = 0;
        for (const Call& call : calls)
            n += call.message == message;
        return n;
    }
    std::vector<Call> calls;
    BOOL accept = TRUE;
};

// Whether any pixel of the icon shows on a white background.
bool ShowsAnything(HICON icon) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, 16, 16};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
    bool shows = false;
    for (int y = 0; y < 16 && !shows; ++y)
        for (int x = 0; x < 16 && !shows; ++x)
            shows = (GetPixel(dc, x, y) & 0xFFFFFF) != 0xFFFFFF;
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return shows;
}

// Restore and ShowMenu write what they would do into a log instead of doing it.
class LoggingTrayIcon : public lv::TTrayIcon {
  public:
    LoggingTrayIcon() {
        OnClick = [this] { log += "click "; };
    }
    void Restore() override { log += "restore "; }
    void Minimize() override { log += "minimize "; }
    void ShowMenu() override { log += "menu "; }
    void Mouse(std::initializer_list<UINT> messages) {
        for (UINT m : messages)
            SendMessageW(Handle(), kCallbackMessage, 0, m);
    }
    std::string log;
};

// The main window's settings: click → OnClick, double click → Restore, right-button
// release → menu.
TEST(TrayIconMouse, EachActionReachesItsHandlerInTheDocumentedOrder) {
    ShellCalls shell;
    struct Case {
        const char* what;
        std::initializer_list<UINT> messages;
        const char* log;
    } cases[] = {
        {"left click", {WM_LBUTTONDOWN, WM_LBUTTONUP}, "click "},
        // The shell's double click: press, release, double click, release.
        {"left double click",
         {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP},
         "click restore click "},
        {"right click", {WM_RBUTTONDOWN, WM_RBUTTONUP}, "menu "},
        {"right double click",
         {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_RBUTTONUP},
         "menu restore menu "},
        {"middle double click",
         {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, WM_MBUTTONUP},
         "restore "},
        {"mouse move", {WM_MOUSEMOVE}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoggingTrayIcon icon;
        icon.PopupMenuOn = TTrayIconMessage::imRightClickUp;
        icon.Mouse(c.messages);
        EXPECT_EQ(c.log, icon.log);
    }
}

TEST(TrayIconMouse, RestoreComesBeforeTheMenuAndTheCallbackLast) {
    ShellCalls shell;
    LoggingTrayIcon icon;
    icon.RestoreOn = icon.PopupMenuOn = TTrayIconMessage::imMouseDown;
    icon.OnMouseDown = [&](lv::MouseButton button, unsigned shift, int, int) {
        EXPECT_EQ(lv::MouseButton::Right, button);
        EXPECT_TRUE(shift & lv::kRightButton);
        icon.log += "down ";
    };
    icon.Mouse({WM_RBUTTONDOWN});
    EXPECT_EQ("restore menu down ", icon.log);

    icon.log.clear();
    icon.RestoreOn = icon.PopupMenuOn = TTrayIconMessage::imClick;
    icon.Mouse({WM_LBUTTONUP});
    EXPECT_EQ("restore menu click ", icon.log);
    // Without an OnClick handler a left release is no click at all.
    icon.log.clear();
    icon.OnClick = nullptr;
    icon.Mouse({WM_LBUTTONUP});
    EXPECT_EQ("", icon.log);
}

TEST(TrayIconShell, HintIsTakenBelow64CharactersAndSentOnlyWhenItChanges) {
    ShellCalls shell;
    lv::TTrayIcon icon;
    icon.SetVisible(true);
    // Chinese characters are two bytes each: the limit counts characters.
    std::string chinese;
    for (int i = 0; i < 63; ++i)
        chinese += "信";
    icon.SetHint(chinese);
    ASSERT_EQ(2, shell.calls.size());
    EXPECT_EQ(std::wstring(63, L'信'), shell.calls.back().data.szTip);
    EXPECT_TRUE(shell.calls.back().data.uFlags & NIF_TIP);

    icon.SetHint(chinese); // the same again
    icon.SetHint(chinese + "信");
    icon.SetHint(std::string(64, 'a'));
    EXPECT_EQ(2, shell.calls.size());
    EXPECT_EQ(chinese, icon.Hint());

    icon.SetHint(std::string(63, 'a'));
    EXPECT_EQ(std::wstring(63, L'a'), shell.calls.back().data.szTip);
    icon.SetHint("");
    EXPECT_FALSE(shell.calls.back().data.uFlags & NIF_TIP);
}

// No notification area yet (a start at log-on, Explorer restarting): the add is no error,
// it is tried again until the shell takes it; only a removal of an icon that was there can
// fail.
TEST(TrayIconShell, AnAddTheShellRefusesIsTriedAgainUntilTheShellTakesIt) {
    ShellCalls shell;
    lv::TTrayIcon icon;
    shell.accept = FALSE;
    icon.SetVisible(true);
    EXPECT_TRUE(icon.Visible());
    EXPECT_FALSE(icon.Added());
    EXPECT_FALSE(icon.ShowNotice("t", "x")) << "no notification without an icon";
    icon.SetIconIndex(0);
    EXPECT_EQ(0, shell.Count(NIM_MODIFY) - shell.Count(NIM_ADD)) << "no image sent to no icon";

    shell.accept = TRUE;
    ASSERT_TRUE(lvtest::PumpUntil([&] { return icon.Added(); }, 3 * lv::TTrayIcon::kRetryMs));
    EXPECT_EQ(NIM_ADD, shell.calls.back().message);
    size_t calls = shell.calls.size();
    lvtest::PumpUntil([] { return false; }, lv::TTrayIcon::kRetryMs + 500);
    EXPECT_EQ(calls, shell.calls.size()) << "once added, the retries stop";

    shell.accept = FALSE;
    try {
        icon.SetVisible(false);
        ADD_FAILURE() << "no error";
    } catch (const lv::Exception& e) {
        EXPECT_STREQ("Cannot Remove System Shell Notification Icon", e.what());
    }
    // Never added, nothing to remove.
    lv::TTrayIcon never;
    never.SetVisible(true);
    never.SetVisible(false);
}

// The shell comes up after the program and announces itself.
TEST(TrayIconShell, AMainWindowStartedWithoutAShellRunsWithoutABoxAndGetsItsIconLater) {
    ShellCalls shell;
    shell.accept = FALSE;
    DataFolder dir;
    auto main = std::make_unique<lv::TfrmMain>();
    EXPECT_FALSE(main->TrayIcon.Added());
    EXPECT_EQ("欢迎使用Lumivale！", main->mmOutput.Lines().front()) << "the start-up went on";

    shell.accept = TRUE;
    shell.calls.clear();
    SendMessageW(main->TrayIcon.Handle(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(main->TrayIcon.Added());
    ASSERT_EQ(1u, shell.calls.size());
    EXPECT_EQ(NIM_ADD, shell.calls[0].message);
    EXPECT_STREQ(L"Lumivale 1.32 by Kestro", shell.calls[0].data.szTip);
    EXPECT_TRUE(ShowsAnything(shell.calls[0].data.hIcon));
}

TEST(TrayIconShell, ARestartedTaskbarGetsTheVisibleIconAgain) {
    ShellCalls shell;
    UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    lv::TTrayIcon icon;
    SendMessageW(icon.Handle(), taskbarCreated, 0, 0);
    EXPECT_EQ(0, shell.Count(NIM_ADD)) << "an invisible icon stays away";
    icon.SetVisible(true);
    SendMessageW(icon.Handle(), taskbarCreated, 0, 0);
    EXPECT_EQ(2, shell.Count(NIM_ADD));
    EXPECT_EQ(icon.Handle(), shell.calls.back().data.hWnd);
    EXPECT_EQ(lv::TTrayIcon::kCallbackMessage, shell.calls.back().data.uCallbackMessage);
}

TEST(TrayIconShell, SessionEndRemovesTheIconAndAllowsTheEnd) {
    ShellCalls shell;
    lv::TTrayIcon icon;
    icon.SetVisible(true);
    EXPECT_EQ(1, SendMessageW(icon.Handle(), WM_QUERYENDSESSION, 0, 0));
    SendMessageW(icon.Handle(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(1, shell.Count(NIM_DELETE));
    EXPECT_TRUE(icon.Visible());
}

TEST(TrayIconShell, MinimizeAndRestoreOfTheApplicationWindowGoThroughTheIcon) {
    ShellCalls shell;
    LoggingTrayIcon icon;
    SendMessageW(lv::App().Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ("", icon.log) << "no hook while invisible";
    icon.SetVisible(true);
    SendMessageW(lv::App().Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    SendMessageW(lv::App().Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
    icon.SetVisible(false);
    SendMessageW(lv::App().Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    SendMessageW(lv::App().Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
    ShowWindow(lv::App().Handle(), SW_HIDE);
    EXPECT_EQ("minimize restore ", icon.log);
}

class TrayIconOfTheMainWindow : public testing::Test {
  protected:
    ShellCalls shell; // before the window: it sees the icon being added
    DataFolder dir;
    std::unique_ptr<lv::TfrmMain> main = std::make_unique<lv::TfrmMain>();
};

TEST_F(TrayIconOfTheMainWindow, IsAddedWithTheHintAndBlinksBetweenItsTwoImages) {
    // One call at start-up, already with the final hint and the normal image: every call
    // waits for the taskbar's process.
    ASSERT_EQ(1u, shell.calls.size());
    ASSERT_EQ(NIM_ADD, shell.calls.front().message);
    EXPECT_TRUE(main->TrayIcon.Visible());
    EXPECT_STREQ(L"Lumivale 1.32 by Kestro", shell.calls.front().data.szTip);
    EXPECT_TRUE(ShowsAnything(shell.calls.front().data.hIcon));
    EXPECT_EQ(&main->mnMain, main->TrayIcon.PopupMenu);

    std::vector<int> shown;
    for (int i = 0; i < 4; ++i) {
        main->SetTrayIconIndex(1 - main->TrayIcon.IconIndex());
        shown.push_back(main->TrayIcon.IconIndex());
        ASSERT_EQ(NIM_MODIFY, shell.calls.back().message);
        EXPECT_EQ(shown.back() == 0, ShowsAnything(shell.calls.back().data.hIcon));
    }
    EXPECT_EQ((std::vector<int>{1, 0, 1, 0}), shown);
}

TEST_F(TrayIconOfTheMainWindow, LeftDoubleClickTogglesTwiceAndRestoresBetween) {
    main->Hide();
    main->TrayIcon.OnRestore = [&] { EXPECT_TRUE(main->Visible()) << "after the first click"; };
    for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        SendMessageW(main->TrayIcon.Handle(), lv::TTrayIcon::kCallbackMessage, 0, m);
    EXPECT_FALSE(main->Visible());
}

TEST_F(TrayIconOfTheMainWindow, ConfirmedExitRemovesTheIcon) {
    MessageBoxes boxes;
    boxes.Answer(IDYES);
    main->mnExitClick();
    EXPECT_FALSE(main->TrayIcon.Visible());
    EXPECT_EQ(1, shell.Count(NIM_DELETE));
    lv::App().ResetTerminated();
}

// The shell is gone (or restarted without the icon) and refuses the removal: a confirmed
// Exit still ends the program, with no error box and no window left behind.
TEST_F(TrayIconOfTheMainWindow, ConfirmedExitEndsWhenTheShellCannotRemoveTheIcon) {
    lv::App().SetAnimateWindows(false);
    main->Show();
    shell.accept = FALSE;
    MessageBoxes boxes;
    boxes.Answer(IDYES);
    main->mnExitClick();
    EXPECT_EQ(boxes.asked.size(), 1u) << "only the exit question";
    EXPECT_TRUE(lv::App().Terminated());
    EXPECT_FALSE(main->Visible());
    EXPECT_EQ(1, shell.Count(NIM_DELETE));
    lv::App().ProcessMessages();
    lv::App().ResetTerminated();
}

} // namespace
