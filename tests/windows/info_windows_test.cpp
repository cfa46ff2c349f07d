#include "TestSupport.h"

#include "app/Main.h"
#include "capture/Receive.h"
#include "framework/Gbk.h"
#include "info/Help.h"
#include "info/History.h"

#include <algorithm>
#include <deque>
#include <random>

namespace {

using lvtest::DataFolder;
using lvtest::IsAbove;
using lvtest::MessageBoxes;
using lvtest::PumpUntil;

class InfoWindows : public testing::Test {
  protected:
    InfoWindows() { lv::App().SetAnimateWindows(false); }
    DataFolder dir;
    std::unique_ptr<lv::TfrmMain> main = std::make_unique<lv::TfrmMain>();
};

TEST_F(InfoWindows, HistoryStartsEmptyWithoutLogsAndFollowsRecordsShownOrHidden) {
    lv::TfrmHistory history(*main);
    history.Show();
    EXPECT_EQ(history.mmSendHistory.Text(), "");
    EXPECT_EQ(history.mmReceiveHistory.Text(), "");

    // A record while the viewer is open goes in front at once, and into the file.
    history.ReceiveLog()->Prepend("rec 1\r\n");
    EXPECT_EQ(history.mmReceiveHistory.Text(), "rec 1\r\n");
    EXPECT_EQ(dir.ReadLog(L"receive.txt", *history.ReceiveLog()), "rec 1\r\n");
    // Records while it is closed are there when it opens again; the file is not read again.
    history.Close();
    history.ReceiveLog()->Prepend("rec 2\r\n");
    dir.Write(L"receive.txt", "changed behind the program's back");
    history.SendLog()->Prepend("sent\r\n");
    history.Show();
    EXPECT_EQ(history.mmReceiveHistory.Text(), "rec 2\r\nrec 1\r\n");
    EXPECT_EQ(history.mmSendHistory.Text(), "sent\r\n");
}

TEST_F(InfoWindows, HistoryLoadsBothLogsWithCrLfAndWritesThemBackThatWay) {
    dir.Write(L"receive.txt", "r1\nr2\rr3\r\n");
    dir.Write(L"send.txt", "s1\ns2\n");
    lv::TfrmHistory history(*main);
    history.Show();
    EXPECT_EQ(history.mmReceiveHistory.Text(), "r1\r\nr2\r\nr3\r\n");
    EXPECT_EQ(history.mmSendHistory.Text(), "s1\r\ns2\r\n");
    history.ReceiveLog()->Prepend("new\r\n");
    EXPECT_EQ(dir.ReadLog(L"receive.txt", *history.ReceiveLog()), "new\r\nr1\r\nr2\r\nr3\r\n");
}

TEST_F(InfoWindows, AVeryLongLogShowsItsNewestPartAndKeepsTheRest) {
    std::string log;
    while (log.size() < 3 * lv::kMaxShownLogBytes)
        log += "2026年1月1日 0:0\r\n发送者:甲\r\n-----------------\r\n正文" + std::to_string(log.size()) +
               "\r\n\r\n\r\n\r\n\r\n";
    dir.Write(L"receive.txt", log);
    lv::TfrmHistory history(*main);
    history.Show();
    std::string shown = history.mmReceiveHistory.Text();
    EXPECT_LE(shown.size(), lv::kMaxShownLogBytes + 200);
    EXPECT_EQ(shown.compare(0, 1000, log, 0, 1000), 0) << "the newest records first";
    EXPECT_NE(shown.find("receive.txt查看。"), std::string::npos);
    history.ReceiveLog()->Prepend("new\r\n");
    EXPECT_EQ(history.mmReceiveHistory.Text().substr(0, 5), "new\r\n");
    EXPECT_EQ(dir.ReadLog(L"receive.txt", *history.ReceiveLog()), "new\r\n" + log) << "the file keeps every record";
}

TEST_F(InfoWindows, ClearingAskFirstAndTouchesOnlyItsOwnLog) {
    dir.Write(L"receive.txt", "received\r\n");
    dir.Write(L"send.txt", "sent\r\n");
    lv::TfrmHistory history(*main);
    history.Show();
    MessageBoxes boxes;
    boxes.Answer(IDNO);
    history.btClearReceiveClick();
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].text, "真的清除记录吗（这将会删除文件）？");
    EXPECT_EQ(boxes.asked[0].caption, "小心");
    EXPECT_EQ(boxes.asked[0].type & MB_TYPEMASK, UINT(MB_YESNO));
    EXPECT_EQ(history.mmReceiveHistory.Text(), "received\r\n");
    EXPECT_TRUE(dir.Exists(L"receive.txt"));

    boxes.Answer(IDYES);
    history.btClearReceiveClick();
    EXPECT_EQ(history.mmReceiveHistory.Text(), "");
    EXPECT_FALSE(dir.Exists(L"receive.txt"));
    EXPECT_EQ(history.mmSendHistory.Text(), "sent\r\n");
    EXPECT_EQ(dir.ReadLog(L"send.txt", *history.SendLog()), "sent\r\n");
    // The next record makes the file again, holding that record alone.
    history.ReceiveLog()->Prepend("later\r\n");
    EXPECT_EQ(dir.ReadLog(L"receive.txt", *history.ReceiveLog()), "later\r\n");
    EXPECT_EQ(history.mmReceiveHistory.Text(), "later\r\n");
}

TEST_F(InfoWindows, ALogThatCannotBeReadIsReportedOnceAndNeverOverwritten) {
    dir.Write(L"receive.txt", "precious\r\n");
    dir.Write(L"send.txt", "sent\r\n");
    HANDLE held = CreateFileW((dir / L"receive.txt").wstring().c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    main->btClearClick();
    lv::TfrmHistory history(*main);
    CloseHandle(held);
    EXPECT_EQ(main->mmOutput.Lines(),
              std::vector<std::string>{"无法读取receive.txt，本次运行中不会写入该文件。"});
    history.Show();
    EXPECT_EQ(history.mmSendHistory.Text(), "sent\r\n") << "send.txt is loaded all the same";
    EXPECT_EQ(history.ReceiveLog()->Prepend("new\r\n"), lv::LogWrite::Held);
    EXPECT_EQ(history.ReceiveLog()->Prepend("newer\r\n"), lv::LogWrite::Held);
    EXPECT_EQ(dir.ReadLog(L"receive.txt", *history.ReceiveLog()), "precious\r\n");
    EXPECT_EQ(history.mmReceiveHistory.Text(), "newer\r\nnew\r\n");
    EXPECT_EQ(main->mmOutput.Lines().size(), 1u) << "said once";
}
// "聊天记录" on a viewer already open, behind another window or minimised, brings it back.
TEST_F(InfoWindows, HistoryChosenAgainComesForwardFromBehindOrFromMinimised) {
    lv::TfrmHistory history(*main);
    lv::TfrmMain::Windows windows;
    windows.frmHistory = &history;
    main->SetWindows(windows);
    main->btHistoryClick();
    HWND cover = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"cover", WS_POPUP | WS_VISIBLE, 280,
                                 120, 500, 560, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(IsAbove(cover, history.Handle()));
    main->btHistoryClick();
    EXPECT_TRUE(IsAbove(history.Handle(), cover));
    ShowWindow(history.Handle(), SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(history.Handle()));
    main->btHistoryClick();
    EXPECT_FALSE(IsIconic(history.Handle()));
    EXPECT_TRUE(IsAbove(history.Handle(), cover));
    DestroyWindow(cover);
}

class ReceiveWindow : public InfoWindows {
  protected:
    lv::TfrmReceive receive{*main};
    // What the capture does with each message it takes.
    void Capture(const std::string& body, const std::string& sender) {
        receive.EnqueueMessage(body, sender);
        main->SetFlashing(true);
    }
    void Open() {
        if (main->Flashing() && !receive.Visible())
            receive.Show();
    }
    bool Flashing() const { return main->Flashing(); }
};

TEST_F(ReceiveWindow, TitleBarAndTaskSwitcherShowTheMainWindowsIcon) {
    for (WPARAM size : {ICON_BIG, ICON_SMALL}) {
        LRESULT icon = SendMessageW(receive.Handle(), WM_GETICON, size, 0);
        EXPECT_NE(icon, 0) << size;
        EXPECT_EQ(icon, SendMessageW(main->Handle(), WM_GETICON, size, 0)) << size;
    }
}

TEST_F(ReceiveWindow, ThreeMessagesAreShownInOrderAndTheLastStopsTheBlinking) {
    Capture("第一条", "甲");
    Capture("第二条\r\n两行", "乙");
    Capture("第三条", "丙");
    EXPECT_TRUE(receive.btNext.Enabled());
    main->TrayIcon.SetIconIndex(1); // caught in the middle of a blink
    Open();
    EXPECT_EQ(receive.edtSender.Text(), "甲");
    EXPECT_EQ(receive.mmContent.Text(), "第一条");
    EXPECT_TRUE(receive.btNext.Enabled());
    EXPECT_TRUE(Flashing());
    receive.btNext.Click();
    EXPECT_EQ(receive.edtSender.Text(), "乙");
    EXPECT_EQ(receive.mmContent.Text(), "第二条\r\n两行");
    EXPECT_TRUE(receive.btNext.Enabled());
    EXPECT_TRUE(Flashing());
    receive.btNext.Click();
    EXPECT_EQ(receive.mmContent.Text(), "第三条");
    EXPECT_FALSE(receive.btNext.Enabled());
    EXPECT_FALSE(Flashing());
    EXPECT_EQ(main->TrayIcon.IconIndex(), 0);
}

TEST_F(ReceiveWindow, ClosingDismissesTheMessageShownAndANewOneEnablesNextAtOnce) {
    Capture("一", "a");
    Capture("二", "b");
    Capture("三", "c");
    Open();
    receive.Close(); // the close box, Esc and "关闭(&C)" all end here
    EXPECT_FALSE(receive.Visible());
    EXPECT_TRUE(Flashing());
    Open();
    EXPECT_EQ(receive.mmContent.Text(), "二");
    receive.btNext.Click();
    EXPECT_FALSE(receive.btNext.Enabled());
    EXPECT_FALSE(Flashing());
    Capture("四", "d");
    EXPECT_TRUE(receive.btNext.Enabled()) << "a message behind the one on screen";
    EXPECT_TRUE(Flashing());
    receive.btCloseClick();
    Open();
    EXPECT_EQ(receive.mmContent.Text(), "四");
    EXPECT_FALSE(Flashing());
}

// Captures, openings, clicks and closes at random against a model of what the user must
// see: the oldest waiting message, "下一个>>" while another waits, blinking while any
// waits unseen.
TEST_F(ReceiveWindow, RandomUseMatchesTheModelPastFiveHundredMessages) {
    std::mt19937 random(7);
    std::deque<std::string> waiting;
    bool flashing = false;
    int serial = 0;
    size_t most = 0;
    for (int step = 0; step < 3000; ++step) {
        most = std::max(most, waiting.size());
        int op = std::uniform_int_distribution<int>(0, 9)(random);
        bool burst = (step / 600) % 2 == 0;
        if (op < (burst ? 7 : 3)) {
            std::string body = "m" + std::to_string(serial++);
            if (waiting.size() < 500)
                waiting.push_back(body);
            Capture(body, "");
            flashing = true;
        } else if (op < 6) {
            bool opens = flashing && !receive.Visible();
            Open();
            if (opens && waiting.size() <= 1)
                flashing = false;
        } else if (op < 8) {
            if (receive.Visible() && receive.btNext.Enabled()) {
                receive.btNext.Click();
                waiting.pop_front();
                if (waiting.size() <= 1)
                    flashing = false;
            }
        } else if (receive.Visible()) {
            receive.Close();
            waiting.pop_front();
        }
        ASSERT_EQ(Flashing(), flashing) << step;
        ASSERT_TRUE(!flashing || !waiting.empty()) << "blinking with nothing to read, step " << step;
        if (receive.Visible()) {
            ASSERT_EQ(receive.mmContent.Text(), waiting.front()) << step;
            ASSERT_EQ(receive.btNext.Enabled(), waiting.size() > 1) << step;
        }
    }
    EXPECT_GT(serial, 500);
    EXPECT_EQ(most, 500u) << "the queue was full at times";
}

TEST_F(InfoWindows, MissingReadmeIsReportedOnceAtStartAndNeverOnOpening) {
    MessageBoxes boxes;
    boxes.Answer(IDOK);
    lv::TfrmHelp help;
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].text, "文件Readme.txt未找到！");
    EXPECT_EQ(boxes.asked[0].caption, "错误");
    EXPECT_EQ(boxes.asked[0].owner, help.Handle());
    help.Show();
    EXPECT_EQ(help.mmHelp.Text(), "文件Readme.txt未找到。");
    help.btOKClick();
    help.Show();
    EXPECT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(help.mmHelp.Text(), "文件Readme.txt未找到。");
}

TEST_F(InfoWindows, HelpShowsTheReadmeAndAboutShowsTheVersion) {
    dir.Write(L"README.TXT", "第一行\n第二行\r\n");
    lv::TfrmHelp help;
    EXPECT_TRUE(GetWindowLongW(help.mmHelp.Handle(), GWL_STYLE) & ES_READONLY);
    dir.Write(L"README.TXT", "changed");
    help.Show();
    EXPECT_EQ(help.mmHelp.Text(), "第一行\r\n第二行\r\n") << "read once, at start-up";
    help.btOKClick();

    lv::TfrmAbout about(main->VersionText);
    EXPECT_EQ(about.lbVersion.Text(), "1.32");
    BITMAP picture{};
    ASSERT_TRUE(GetObjectW(about.Image1.Bitmap(), sizeof picture, &picture));
    EXPECT_EQ(picture.bmWidth, 128);
    EXPECT_EQ(picture.bmHeight, 128);
    EXPECT_EQ(picture.bmBitsPixel, 24);
}

} // namespace
