#include "TestSupport.h"

#include "app/Main.h"
#include "capture/Capture.h"
#include "capture/Receive.h"
#include "framework/Gbk.h"
#include "info/History.h"

namespace {

using lvtest::DataFolder;
using lvtest::PumpUntil;

const std::string kTitle = "信使服务 ";

// A pop-up window as the Messenger service shows one: a top-level window with the text
// control 65535. Windows of this class ignore WM_CLOSE when `stubborn`.
LRESULT CALLBACK StubbornProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE)
        return 0;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND MakePopup(const std::string& title, const std::string* text, bool stubborn = false) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW c{};
        c.lpfnWndProc = StubbornProc;
        c.hInstance = GetModuleHandleW(nullptr);
        c.lpszClassName = L"LvStubbornPopup";
        RegisterClassW(&c);
        registered = true;
    }
    HWND popup =
        CreateWindowExW(0, stubborn ? L"LvStubbornPopup" : L"STATIC", lv::ToWide(title).c_str(),
                        WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    if (text)
        CreateWindowExW(0, L"EDIT", lv::ToWide(*text).c_str(), WS_CHILD | ES_MULTILINE, 0, 0, 100,
                        50, popup, reinterpret_cast<HMENU>(static_cast<INT_PTR>(0xFFFF)), nullptr,
                        nullptr);
    return popup;
}

std::string PopupText(const std::string& sender, const std::string& body) {
    return "从 " + sender + " 到 SELF 于 2026/12/9 10:00\n\r" + body;
}

class Capture : public testing::Test {
  protected:
    Capture() {
        lv::App().SetAnimateWindows(false);
        lv::SetSoundPlayer([this](const std::wstring& file) { sounds.push_back(file); });
        main->btClearClick();
    }
    ~Capture() override { lv::SetSoundPlayer(nullptr); }
    HWND Popup(const std::string& sender, const std::string& body) {
        std::string text = PopupText(sender, body);
        return MakePopup(kTitle, &text);
    }
    std::vector<std::string> Status() const { return main->mmOutput.Lines(); }

    DataFolder dir;
    std::unique_ptr<lv::TfrmMain> main = std::make_unique<lv::TfrmMain>();
    lv::TfrmReceive receive{*main};
    lv::TfrmHistory history{*main};
    lv::TMessageCapture capture{*main, receive, history.ReceiveLog()};
    std::vector<std::wstring> sounds;
};

TEST_F(Capture, TakesOnlyItsPopupsAllReadyOnesInOneLookAndLogsQueuesSoundsAndBlinks) {
    std::string other = "x";
    HWND noBlank = MakePopup("信使服务", &other);
    HWND longer = MakePopup("信使服务  ", &other);
    HWND first = Popup("alice", "第一行\r\n第二行");
    HWND second = Popup("bob", "hi");
    EXPECT_EQ(capture.Tick(), 2);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(capture.Tick(), 0);
    EXPECT_TRUE(IsWindow(noBlank)) << "another title is never touched";
    EXPECT_TRUE(IsWindow(longer));
    DestroyWindow(noBlank);
    DestroyWindow(longer);

    ASSERT_EQ(receive.Queue().ReceivedCount(), 2);
    EXPECT_EQ(receive.Queue().CurrentSender(), "alice") << "the older pop-up is queued first";
    std::string log = dir.ReadLog(L"receive.txt", *history.ReceiveLog());
    EXPECT_NE(log.find("发送者:bob\r\n-----------------\r\nhi\r\n\r\n\r\n\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("发送者:alice\r\n-----------------\r\n第一行\r\n第二行\r\n\r\n\r\n\r\n\r\n"),
              std::string::npos);
    EXPECT_LT(log.find("发送者:bob"), log.find("发送者:alice")) << "newest first";
    EXPECT_EQ(history.ReceiveLog()->Text(), log);
    EXPECT_EQ(Status(), (std::vector<std::string>{"收到信息！", "收到信息！"}));
    EXPECT_TRUE(main->Flashing());
    ASSERT_EQ(sounds.size(), 1u) << "one chime a look, however many it took";
    EXPECT_EQ(sounds[0], lv::AppDirectory() + L"msg.wav");
}

TEST_F(Capture, ANoticeBringsALookAtOnceAndABurstIsTakenInSlicesInOrder) {
    capture.ListenForNotices();
    // As msgsvc.exe gives notice: to the message-only window of the notice class.
    auto notice = [] {
        HWND target = FindWindowExW(HWND_MESSAGE, nullptr, lv::kCaptureNoticeClass, nullptr);
        return target &&
               PostMessageW(target, RegisterWindowMessageW(lv::kCaptureNoticeMessage), 0, 0);
    };
    HWND one = Popup("alice", "at once");
    ASSERT_TRUE(notice());
    lv::App().ProcessMessages();
    EXPECT_FALSE(IsWindow(one)) << "taken on the notice, no timer involved";

    // More than one slice holds: the look takes what fits and the rest follows by itself.
    constexpr int kBurst = 400;
    for (int i = 0; i < kBurst; ++i)
        Popup("s", "burst " + std::to_string(i));
    sounds.clear();
    ASSERT_TRUE(notice());
    ASSERT_TRUE(PumpUntil([&] { return receive.Queue().ReceivedCount() == kBurst + 1; }, 20000));
    EXPECT_EQ(capture.Tick(), 0) << "none left, none taken twice";
    EXPECT_GE(sounds.size(), 1u);
    EXPECT_LT(sounds.size(), size_t(kBurst)) << "a chime a look, not a message";
    std::string log = history.ReceiveLog()->Text();
    size_t at = std::string::npos;
    for (int i = 0; i < kBurst; ++i) {
        size_t here = log.find("\r\nburst " + std::to_string(i) + "\r\n");
        ASSERT_NE(here, std::string::npos) << i;
        EXPECT_LT(here, at) << "message " << i << " is newer than the one before";
        at = here;
    }
}

TEST_F(Capture, WithoutSoundTheRestHappensAndASecondCaptureDoesNotResetTheBlink) {
    lv::Settings settings = main->CurrentSettings();
    settings.EnableSound = false;
    main->ApplySettings(settings);
    Popup("a", "1");
    capture.Tick();
    EXPECT_TRUE(sounds.empty());
    EXPECT_EQ(Status(), std::vector<std::string>{"收到信息！"});
    EXPECT_TRUE(main->Flashing());
    history.ReceiveLog()->WaitWritten(5000);
    EXPECT_TRUE(dir.Exists(L"receive.txt"));
    main->tmFlashTimer(); // the icon is now in its blank phase
    Popup("b", "2");
    capture.Tick();
    EXPECT_TRUE(main->Flashing());
    EXPECT_EQ(main->TrayIcon.IconIndex(), 1) << "the blink goes on where it was";
}

TEST_F(Capture, APopupWithoutItsTextYetWaitsWhileOthersAreTaken) {
    HWND building = MakePopup(kTitle, nullptr);
    HWND ready = Popup("carol", "body");
    capture.Tick();
    EXPECT_FALSE(IsWindow(ready)) << "the pop-up with its text is taken first";
    capture.Tick();
    EXPECT_TRUE(IsWindow(building)) << "not read empty while it may still be built";
    EXPECT_EQ(receive.Queue().ReceivedCount(), 1);
    // Its text arrives: it is taken whole.
    std::string text = PopupText("dave", "late");
    CreateWindowExW(0, L"EDIT", lv::ToWide(text).c_str(), WS_CHILD | ES_MULTILINE, 0, 0, 10, 10,
                    building, reinterpret_cast<HMENU>(static_cast<INT_PTR>(0xFFFF)), nullptr,
                    nullptr);
    capture.Tick();
    EXPECT_FALSE(IsWindow(building));
    ASSERT_EQ(receive.Queue().ReceivedCount(), 2);
    EXPECT_NE(dir.ReadLog(L"receive.txt", *history.ReceiveLog())
                  .find("发送者:dave\r\n-----------------\r\nlate\r\n"),
              std::string::npos);

    // One that never gets a text is taken after about a second, as it is.
    HWND empty = MakePopup(kTitle, nullptr);
    capture.Tick();
    EXPECT_TRUE(IsWindow(empty));
    Sleep(lv::kPopupGraceMs + 50);
    capture.Tick();
    EXPECT_FALSE(IsWindow(empty));
    EXPECT_EQ(receive.Queue().ReceivedCount(), 3);
}

TEST_F(Capture, APopupThatWillNotCloseIsTakenOnce) {
    std::string text = PopupText("eve", "once");
    HWND stubborn = MakePopup(kTitle, &text, true);
    for (int i = 0; i < 5; ++i)
        capture.Tick();
    EXPECT_TRUE(IsWindow(stubborn));
    EXPECT_EQ(receive.Queue().ReceivedCount(), 1);
    DestroyWindow(stubborn);
    capture.Tick();
    Popup("eve", "again");
    capture.Tick();
    EXPECT_EQ(receive.Queue().ReceivedCount(), 2);
}

TEST_F(Capture, AnUnwritableLogIsReportedOnceAndTheMessagesStillArriveAndReachTheFileLater) {
    const std::string failed =
        "无法写入receive.txt，新记录暂存在receive.txt.journal中，稍后自动再试。";
    dir.Block(L"receive.txt.tmp"); // the atomic write cannot make its temporary file
    Popup("a", "1");
    capture.Tick();
    EXPECT_FALSE(history.ReceiveLog()->WaitWritten(5000));
    lv::App().ProcessMessages(); // the writer's report
    Popup("b", "2");
    capture.Tick();
    EXPECT_FALSE(history.ReceiveLog()->WaitWritten(5000));
    lv::App().ProcessMessages();
    EXPECT_EQ(Status(), (std::vector<std::string>{"收到信息！", failed, "收到信息！"}))
        << "said once";
    EXPECT_EQ(receive.Queue().ReceivedCount(), 2);
    EXPECT_EQ(sounds.size(), 2u);
    EXPECT_TRUE(main->Flashing());
    EXPECT_FALSE(dir.Exists(L"receive.txt"));
    EXPECT_TRUE(dir.Exists(L"receive.txt.journal")) << "the records are safe meanwhile";

    std::filesystem::remove(dir / L"receive.txt.tmp");
    Popup("c", "3");
    capture.Tick();
    std::string log = dir.ReadLog(L"receive.txt", *history.ReceiveLog());
    lv::App().ProcessMessages();
    EXPECT_EQ(Status().back(), "receive.txt又可以写入了，记录已经保存。");
    EXPECT_LT(log.find("发送者:c"), log.find("发送者:b"));
    EXPECT_LT(log.find("发送者:b"), log.find("发送者:a"));
    EXPECT_NE(log.find("发送者:a"), std::string::npos)
        << "the records kept in memory reach the file";
    EXPECT_FALSE(dir.Exists(L"receive.txt.journal")) << "folded";

    // A journal that cannot be written either: the capture itself says so.
    dir.Block(L"receive.txt.journal");
    Popup("d", "4");
    capture.Tick();
    EXPECT_EQ(Status().back(), "收到信息！");
    EXPECT_EQ(Status()[Status().size() - 2],
              "无法写入receive.txt，聊天记录暂存在内存中，收到下一条信息时再试。");
    EXPECT_NE(dir.ReadLog(L"receive.txt", *history.ReceiveLog()).find("发送者:d"),
              std::string::npos)
        << "and the writer still puts it into the file";
}

TEST_F(Capture, WithFiveHundredWaitingANewMessageIsLoggedAndAnnouncedButNotQueued) {
    for (int i = 0; i < 500; ++i)
        receive.EnqueueMessage("m", "s");
    Popup("late", "501");
    capture.Tick();
    Popup("later", "502");
    capture.Tick();
    EXPECT_EQ(receive.Queue().Waiting(), 500);
    EXPECT_EQ(Status(),
              (std::vector<std::string>{"已有500条信息等待阅读，新信息不再排队，只记入聊天记录。",
                                        "收到信息！", "收到信息！"}));
    EXPECT_NE(dir.ReadLog(L"receive.txt", *history.ReceiveLog()).find("发送者:later"),
              std::string::npos);
}

// What the shell is asked to show as arrival notifications, and every call that carries one.
struct Notices {
    Notices() {
        lv::SetShellNotifyHandler([this](DWORD message, const NOTIFYICONDATAW& data) {
            if (data.uFlags & NIF_INFO)
                shown.push_back({message, data});
            ++calls;
            return TRUE;
        });
    }
    ~Notices() { lvtest::InstallAcceptingShell(); }
    struct Notice {
        DWORD message;
        NOTIFYICONDATAW data;
    };
    std::vector<Notice> shown;
    int calls = 0;
};

TEST_F(Capture, AnArrivalIsNotifiedWithItsSenderAndFirstLineAndABurstByItsCount) {
    Notices notices;
    Popup("张三", "\r\n明天开会\r\n三楼");
    capture.Tick();
    ASSERT_EQ(notices.shown.size(), 1u);
    const NOTIFYICONDATAW& one = notices.shown[0].data;
    EXPECT_EQ(notices.shown[0].message, DWORD{NIM_MODIFY});
    EXPECT_STREQ(one.szInfoTitle, L"张三发来信息");
    EXPECT_STREQ(one.szInfo, L"明天开会");
    EXPECT_EQ(one.dwInfoFlags & NIIF_ICON_MASK, DWORD{NIIF_INFO});
    EXPECT_TRUE(one.dwInfoFlags & NIIF_NOSOUND) << "the program's own sound only";
    EXPECT_EQ(sounds.size(), 1u);

    // Arrivals within the spacing are counted into the next notification.
    for (const char* who : {"李四", "王五", "赵六"})
        Popup(who, std::string("来自") + who);
    capture.Tick();
    EXPECT_EQ(notices.shown.size(), 1u);
    ASSERT_TRUE(PumpUntil(
        [&] {
            capture.Tick();
            return notices.shown.size() == 2;
        },
        lv::kNoticeSpacingMs + 2000));
    EXPECT_STREQ(notices.shown[1].data.szInfoTitle, L"收到3条信息");
    EXPECT_STREQ(notices.shown[1].data.szInfo, L"最新一条来自赵六：来自赵六");
    // A blink of the icon afterwards does not bring the notification back.
    int calls = notices.calls;
    main->tmFlashTimer();
    EXPECT_EQ(notices.calls, calls + 1);
    EXPECT_EQ(notices.shown.size(), 2u);
}

TEST_F(Capture, TheNotificationCanBeSwitchedOffAndItsClickOpensTheWaitingMessages) {
    lv::TfrmMain::Windows windows;
    windows.frmReceive = &receive;
    main->SetWindows(windows);
    Notices notices;
    lv::Settings settings = main->CurrentSettings();
    settings.ArrivalNotice = false;
    main->ApplySettings(settings);
    Popup("a", "1");
    capture.Tick();
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_TRUE(main->Flashing()) << "the blink stays";
    EXPECT_EQ(sounds.size(), 1u) << "and the sound";

    settings.ArrivalNotice = true;
    main->ApplySettings(settings);
    Popup("b", "2");
    capture.Tick();
    ASSERT_EQ(notices.shown.size(), 1u);
    EXPECT_STREQ(notices.shown[0].data.szInfoTitle, L"b发来信息") << "only what came with it on";
    // The user clicks the notification (NIN_BALLOONUSERCLICK).
    SendMessageW(main->TrayIcon.Handle(), lv::TTrayIcon::kCallbackMessage, 0, NIN_BALLOONUSERCLICK);
    EXPECT_TRUE(receive.Visible());
    EXPECT_EQ(receive.Queue().CurrentSender(), "a") << "the oldest waiting one first";
    receive.Hide();
}

TEST_F(Capture, TheReceivedWindowCanComeUpAtOnceWithoutTakingTheKeyboard) {
    Notices notices;
    main->Show();
    SetForegroundWindow(main->Handle());
    lv::Settings settings = main->CurrentSettings();
    settings.ShowReceived = true;
    main->ApplySettings(settings);
    Popup("a", "先");
    Popup("b", "后");
    capture.Tick();
    EXPECT_TRUE(receive.Visible());
    EXPECT_EQ(receive.Queue().CurrentSender(), "a");
    EXPECT_NE(GetActiveWindow(), receive.Handle()) << "the keyboard stays where it was";
    EXPECT_TRUE(main->Flashing()) << "one more waits behind it";
    receive.Hide();
    main->Hide();
}

} // namespace
