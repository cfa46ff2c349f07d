#include "LoopbackListener.h"
#include "TestSupport.h"

#include "app/Main.h"
#include "framework/Gbk.h"
#include "framework/Timer.h"
#include "friends/FriendFile.h"
#include "info/History.h"
#include "messenger/NetMessage.h"
#include "messenger/Receiver.h"
#include "messenger/Sender.h"
#include "send/Send.h"
#include "messagelog/SendRecord.h"
#include "send/TempSend.h"

#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>
#include <mutex>
#include <thread>

namespace {

using lvtest::DataFolder;
using lvtest::PumpUntil;
using Lines = std::vector<std::string>;
using namespace lv::messenger;

const lv::LogTime kTime{2003, 12, 1, 9, 5};
const std::string kOldLog = lv::SendRecordText({2003, 1, 5, 9, 7}, "王五", "10.0.0.9", "旧的");

// A Messenger receiver on 127.0.0.1 at a port of the system's choosing, keeping what it
// receives.
class Listener {
  public:
    explicit Listener(ReceiverLimits limits = {})
        : listener_(lvtest::ReceiverServe(
              [this](const Message& m) {
                  std::lock_guard<std::mutex> hold(lock_);
                  got_.push_back(m);
                  return true;
              },
              limits)) {}
    // A send function for the send window's workers: our NetMessageBufferSend aimed here.
    lv::MessageSendFunction Send() const {
        SendOptions options;
        options.port = listener_.port();
        options.sessionRequest = false;
        options.connectTimeoutMs = 2000;
        options.replyTimeoutMs = 2000;
        return [options](const wchar_t*, const wchar_t* to, const wchar_t* from,
                         const unsigned char* buf, unsigned long len) {
            return NetMessageBufferSendWith(options, to, from, buf, len);
        };
    }
    std::vector<Message> Got() {
        std::lock_guard<std::mutex> hold(lock_);
        return got_;
    }

  private:
    std::mutex lock_;
    std::vector<Message> got_;
    // Last: its thread stops before the messages it fills go.
    lvtest::LoopbackListener listener_;
};

// The main window with two friends, the history viewer (owner of the send log), the send
// window and the ad-hoc prompt, as the program wires them.
class SendWindow : public testing::Test {
  protected:
    SendWindow() {
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        lv::App().ResetTerminated();
        lv::App().SetAnimateWindows(false);
        dir.Write(L"FRIENDS.DAT",
                  lv::WriteFriendFile("我", {{"张三", "192.168.0.7"}, {"李四", "127.0.0.1"}}));
        dir.Write(L"send.txt", kOldLog);
        main = std::make_unique<lv::TfrmMain>();
        history = std::make_unique<lv::TfrmHistory>(*main);
        send = std::make_unique<lv::TfrmSend>(*main);
        send->SetSendLog(history->SendLog());
        send->WorkerContext().clock = [] { return kTime; };
        prompt = std::make_unique<lv::TfrmTempSend>(*send);
        lv::TfrmMain::Windows windows;
        windows.frmSend = send.get();
        windows.frmTempSend = prompt.get();
        windows.frmHistory = history.get();
        main->SetWindows(windows);
        main->btClearClick();
        main->Show();
    }
    ~SendWindow() override {
        // No worker of this test may outlive its windows.
        EXPECT_TRUE(PumpUntil([] { return lv::App().WorkerCount() == 0; }, 30000));
        lv::App().ProcessMessages();
    }

    Lines Status() const { return main->mmOutput.Lines(); }
    // Waits until the status area has `count` lines and no worker runs.
    bool WaitForLines(size_t count, int ms = 20000) {
        return PumpUntil([&] { return Status().size() >= count && lv::App().WorkerCount() == 0; },
                         ms);
    }
    // The main window's send command for friend `index`; while the send window is up
    // modally, `text` goes into it and Send is pressed. True when the window came up.
    bool SendToFriend(int index, const std::string& text) {
        main->lsbNames.SetItemIndex(index);
        bool opened = false;
        lv::TTimer typist;
        typist.SetInterval(20);
        typist.OnTimer = [&] {
            typist.SetEnabled(false);
            opened = send->Visible() && send->Modal();
            send->mmContent.SetText(text);
            send->btSend.Click();
        };
        typist.SetEnabled(true);
        main->lsbNamesDblClick();
        return opened && !send->Visible();
    }

    DataFolder dir;
    std::unique_ptr<lv::TfrmMain> main;
    std::unique_ptr<lv::TfrmHistory> history;
    std::unique_ptr<lv::TfrmSend> send;
    std::unique_ptr<lv::TfrmTempSend> prompt;
};

TEST_F(SendWindow, AcceptedMessageArrivesAndIsLoggedInFrontThenTheResultLine) {
    Listener peer;
    send->WorkerContext().send = peer.Send();
    const std::string text = "你好，李四！\r\n第二行\r\n第三行";
    ASSERT_TRUE(SendToFriend(1, text));
    ASSERT_TRUE(WaitForLines(2));
    EXPECT_EQ(Status(), (Lines{"李四:正在发送..", "李四:发送成功^_^"}));

    ASSERT_EQ(peer.Got().size(), 1u);
    EXPECT_EQ(peer.Got()[0].sender, "我") << "the sender name from FRIENDS.DAT";
    EXPECT_EQ(peer.Got()[0].text, text);
    const std::string record = lv::SendRecordText(kTime, "李四", "127.0.0.1", text);
    EXPECT_EQ(lv::SendRecordLines(kTime, "李四", "127.0.0.1", text)[1], "接收者：李四(127.0.0.1)");
    EXPECT_EQ(dir.ReadLog(L"send.txt", *history->SendLog()), record + kOldLog);
    EXPECT_EQ(history->SendLog()->Text(), record + kOldLog);
    EXPECT_TRUE(record.starts_with("2003年12月1日 9:5\r\n"));

    // send.txt deleted by hand: the next accepted send writes every record again.
    DeleteFileW((dir / L"send.txt").c_str());
    ASSERT_TRUE(SendToFriend(1, ""));
    ASSERT_TRUE(WaitForLines(4));
    const std::string empty = lv::SendRecordText(kTime, "李四", "127.0.0.1", "");
    EXPECT_EQ(dir.ReadLog(L"send.txt", *history->SendLog()), empty + record + kOldLog);
}

TEST_F(SendWindow, FailedSendLeavesTheLogAsItWasAndSaysSo) {
    // Nothing listens at 127.0.0.39 on the port the program is set to use here.
    SendOptions nowhere;
    nowhere.port = 11439;
    nowhere.sessionRequest = false;
    send->WorkerContext().send = [nowhere](const wchar_t*, const wchar_t*, const wchar_t* from,
                                           const unsigned char* buf, unsigned long len) {
        return NetMessageBufferSendWith(nowhere, L"127.0.0.39", from, buf, len);
    };
    ASSERT_TRUE(SendToFriend(0, "没人收"));
    ASSERT_TRUE(WaitForLines(3));
    EXPECT_EQ(Status(), (Lines{"张三:正在发送..", "张三:发送失败:-(", lv::kRefusedText}));
    EXPECT_EQ(dir.ReadLog(L"send.txt", *history->SendLog()), kOldLog);
    EXPECT_EQ(history->SendLog()->Text(), kOldLog);
}

TEST_F(SendWindow, WorkerHandsTheServiceTheDocumentedBuffers) {
    struct Call {
        bool serverNull;
        std::wstring to, from;
        std::string buffer;
    } call{};
    send->WorkerContext().send = [&call](const wchar_t* server, const wchar_t* to,
                                         const wchar_t* from, const unsigned char* buf,
                                         unsigned long len) {
        call = {server == nullptr, to, from, std::string(reinterpret_cast<const char*>(buf), len)};
        return 0ul;
    };
    ASSERT_TRUE(SendToFriend(0, "ab中"));
    ASSERT_TRUE(WaitForLines(2));
    EXPECT_TRUE(call.serverNull);
    EXPECT_EQ(call.to, L"192.168.0.7");
    EXPECT_EQ(call.from, L"我");
    // Four code units with the null: 2 * 4 + 10 bytes, the text in UTF-16LE first.
    ASSERT_EQ(call.buffer.size(), 18u);
    EXPECT_EQ(call.buffer.substr(0, 8), std::string("a\0b\0\x2d\x4e\0\0", 8));
    EXPECT_EQ(dir.ReadLog(L"send.txt", *history->SendLog()),
              lv::SendRecordText(kTime, "张三", "192.168.0.7", "ab中") + kOldLog);
}

TEST_F(SendWindow, UnwritableSendLogStillGivesTheResultAndReportsIt) {
    send->WorkerContext().send = [](const wchar_t*, const wchar_t*, const wchar_t*,
                                    const unsigned char*, unsigned long) { return 0ul; };
    DeleteFileW((dir / L"send.txt").c_str());
    dir.Block(L"send.txt");
    ASSERT_TRUE(SendToFriend(0, "第一条"));
    ASSERT_TRUE(WaitForLines(3));
    // The writer's report and the worker's result line come from two threads.
    Lines lines = Status();
    std::sort(lines.begin(), lines.end());
    Lines expected{"张三:正在发送..", "张三:发送成功^_^",
                   "无法写入send.txt，新记录暂存在send.txt.journal中，稍后自动再试。"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
    const std::string first = lv::SendRecordText(kTime, "张三", "192.168.0.7", "第一条");
    EXPECT_EQ(history->SendLog()->Text(), first + kOldLog) << "kept in memory";

    // The way clear again: the next send writes both records.
    RemoveDirectoryW((dir / L"send.txt").c_str());
    ASSERT_TRUE(SendToFriend(0, "第二条"));
    ASSERT_TRUE(WaitForLines(6));
    const std::string second = lv::SendRecordText(kTime, "张三", "192.168.0.7", "第二条");
    EXPECT_EQ(dir.ReadLog(L"send.txt", *history->SendLog()), second + first + kOldLog);
    ASSERT_TRUE(PumpUntil([&] { return Status().size() == 6; }));
    EXPECT_NE(std::find(Status().begin(), Status().end(), "send.txt又可以写入了，记录已经保存。"),
              Status().end());
}

TEST_F(SendWindow, TextLongerThanTheReceiverTakesIsReportedAsNotDelivered) {
    // A classic receiver that takes about 1600 bytes answers "no room" for more.
    Listener classic(ReceiverLimits{1600});
    send->WorkerContext().send = classic.Send();
    ASSERT_TRUE(SendToFriend(1, std::string(2000, 'x')));
    ASSERT_TRUE(WaitForLines(3));
    EXPECT_EQ(Status(), (Lines{"李四:正在发送..", "李四:发送失败:-(", lv::kNotTakenText}));
    EXPECT_TRUE(classic.Got().empty());

    // More than the protocol carries is not sent at all.
    main->btClearClick();
    Listener peer;
    send->WorkerContext().send = peer.Send();
    ASSERT_TRUE(SendToFriend(1, std::string(4095, 'y') + "好"));
    ASSERT_TRUE(WaitForLines(3));
    EXPECT_EQ(Status(), (Lines{"李四:正在发送..", "李四:发送失败:-(", lv::kTooLongText}));
    EXPECT_EQ(dir.ReadLog(L"send.txt", *history->SendLog()), kOldLog);

    // Exactly the most msgsvc takes goes through.
    main->btClearClick();
    ASSERT_TRUE(SendToFriend(1, std::string(4094, 'z') + "好"));
    ASSERT_TRUE(WaitForLines(2));
    EXPECT_EQ(Status().back(), "李四:发送成功^_^");
    ASSERT_EQ(peer.Got().size(), 1u);
    EXPECT_EQ(peer.Got()[0].text.size(), 4096u);
}

TEST_F(SendWindow, WorkersFinishingTogetherKeepEveryRecordWhole) {
    constexpr int kWorkers = 24;
    // Every worker waits in the service call until all have arrived, so that they finish
    // together.
    std::atomic<int> arrived{0};
    send->WorkerContext().send = [&arrived](const wchar_t*, const wchar_t*, const wchar_t*,
                                            const unsigned char*, unsigned long) {
        ++arrived;
        for (int i = 0; i < 500 && arrived < kWorkers; ++i)
            Sleep(10);
        return 0ul;
    };
    for (int i = 0; i < kWorkers; ++i) {
        send->OpenForAddress("10.0.0." + std::to_string(i));
        send->mmContent.SetText("消息" + std::to_string(i) + "\r\n" +
                                std::string(300, 'a' + i % 26));
        send->btSend.Click();
        EXPECT_FALSE(send->Visible());
    }
    ASSERT_TRUE(WaitForLines(2 * kWorkers, 30000));

    std::string log = dir.ReadLog(L"send.txt", *history->SendLog());
    EXPECT_EQ(log, history->SendLog()->Text());
    ASSERT_TRUE(log.ends_with(kOldLog));
    for (int i = 0; i < kWorkers; ++i) {
        std::string record = lv::SendRecordText(
            kTime, "（临时发送）", "10.0.0." + std::to_string(i),
            "消息" + std::to_string(i) + "\r\n" + std::string(300, 'a' + i % 26));
        size_t at = log.find(record);
        ASSERT_NE(at, std::string::npos) << "record " << i;
        EXPECT_EQ(log.find(record, at + 1), std::string::npos) << "record " << i << " twice";
    }
    // Nothing but the records and the old log: none mixed into another.
    EXPECT_EQ(
        log.size(), kOldLog.size() + [&] {
            size_t total = 0;
            for (int i = 0; i < kWorkers; ++i)
                total += lv::SendRecordText(kTime, "（临时发送）", "10.0.0." + std::to_string(i),
                                            "消息" + std::to_string(i) + "\r\n" +
                                                std::string(300, 'a' + i % 26))
                             .size();
            return total;
        }());
    // Per send, its "sending" line before its result line.
    Lines status = Status();
    ASSERT_EQ(status.size(), 2u * kWorkers);
    EXPECT_EQ(std::count(status.begin(), status.end(), "（临时发送）:正在发送.."), kWorkers);
    EXPECT_EQ(std::count(status.begin(), status.end(), "（临时发送）:发送成功^_^"), kWorkers);
}

TEST_F(SendWindow, CtrlEnterSendsEnterAloneTypesANewLineEscCancels) {
    std::atomic<int> sends{0};
    send->WorkerContext().send = [&sends](const wchar_t*, const wchar_t*, const wchar_t*,
                                          const unsigned char*, unsigned long) {
        ++sends;
        return 0ul;
    };
    HWND memo = send->mmContent.Handle();
    // A key as the user presses it: through the message queue, the dialog keys and
    // TranslateMessage, with the modifier keys held in the thread's keyboard state.
    auto press = [&](WORD key, std::initializer_list<int> held) {
        BYTE state[256] = {};
        for (int vk : held)
            state[vk] = 0x80;
        SetKeyboardState(state);
        PostMessageW(memo, WM_KEYDOWN, key, 1);
        PumpUntil([] { return false; }, 100);
        BYTE none[256] = {};
        SetKeyboardState(none);
    };

    send->OpenForAddress("127.0.0.1");
    ASSERT_EQ(GetFocus(), memo) << "the keyboard goes to the text";
    send->mmContent.SetText("一");
    SendMessageW(memo, EM_SETSEL, 3, 3);
    press(VK_RETURN, {});
    EXPECT_TRUE(send->Visible()) << "Enter alone does not send";
    EXPECT_EQ(send->mmContent.Text(), "一\r\n");

    press(VK_RETURN, {VK_CONTROL});
    EXPECT_FALSE(send->Visible()) << "Ctrl+Enter sends and closes";
    ASSERT_TRUE(WaitForLines(2));
    EXPECT_EQ(sends.load(), 1);
    EXPECT_TRUE(history->SendLog()->Text().starts_with(
        lv::SendRecordText(kTime, "（临时发送）", "127.0.0.1", "一\r\n")))
        << "the Enter typed before is part of the text, the Ctrl+Enter is not";

    // Only the Ctrl bit counts.
    for (unsigned other : {lv::ssShift, lv::ssAlt}) {
        send->OpenForAddress("127.0.0.1");
        EXPECT_TRUE(send->mmContentKeyDown(VK_RETURN, lv::ssCtrl | other));
        EXPECT_FALSE(send->Visible());
    }
    send->OpenForAddress("127.0.0.1");
    EXPECT_FALSE(send->mmContentKeyDown(VK_RETURN, lv::ssShift));
    EXPECT_FALSE(send->mmContentKeyDown('A', lv::ssCtrl));

    // Esc is the cancel button; the text stays until the next opening clears it.
    send->mmContent.SetText("留着");
    press(VK_ESCAPE, {});
    EXPECT_FALSE(send->Visible());
    EXPECT_EQ(send->mmContent.Text(), "留着");
    ASSERT_TRUE(WaitForLines(6));
    EXPECT_EQ(sends.load(), 3);
}

TEST_F(SendWindow, AdHocPromptOpensTheSendWindowModelesslyAndAFriendSendBringsItForward) {
    send->WorkerContext().send = [](const wchar_t*, const wchar_t*, const wchar_t*,
                                    const unsigned char*, unsigned long) { return 0ul; };
    send->mmContent.SetText("上次剩下的");
    // The prompt, driven while it is up: an address typed, then Enter in the field.
    auto adHoc = [&](const std::string& address, bool ok) {
        bool shown = false, emptyField = false;
        lv::TTimer user;
        user.SetInterval(20);
        user.OnTimer = [&] {
            user.SetEnabled(false);
            shown = prompt->Visible() && prompt->Modal();
            emptyField = prompt->edtIP.Text().empty();
            EXPECT_EQ(GetFocus(), prompt->edtIP.Handle());
            if (!ok) {
                prompt->Close();
                return;
            }
            prompt->edtIP.SetText(address);
            PostMessageW(prompt->edtIP.Handle(), WM_KEYDOWN, VK_RETURN, 1);
        };
        user.SetEnabled(true);
        main->btTempSendClick();
        EXPECT_TRUE(shown);
        EXPECT_TRUE(emptyField) << "each opening starts with an empty field";
    };

    adHoc("", false);
    EXPECT_FALSE(send->Visible()) << "the close box opens nothing";

    adHoc(" 127.0.0.5 ", true);
    EXPECT_FALSE(prompt->Visible());
    ASSERT_TRUE(send->Visible());
    EXPECT_FALSE(send->Modal());
    EXPECT_TRUE(IsWindowEnabled(main->Handle())) << "the main window stays usable";
    EXPECT_EQ(send->lbName.Text(), "（临时发送）");
    EXPECT_EQ(send->lbIP.Text(), " 127.0.0.5 ") << "as typed";
    EXPECT_EQ(send->mmContent.Text(), "");
    EXPECT_EQ(GetFocus(), send->mmContent.Handle());

    // A friend send meanwhile: the open window comes forward with what it holds.
    send->mmContent.SetText("写了一半");
    main->lsbNames.SetItemIndex(0);
    main->lsbNamesDblClick();
    EXPECT_TRUE(send->Visible());
    EXPECT_FALSE(send->Modal());
    EXPECT_EQ(send->lbName.Text(), "（临时发送）");
    EXPECT_EQ(send->mmContent.Text(), "写了一半");

    // So does a second ad-hoc OK: the half-written message keeps its text and address.
    adHoc("127.0.0.9", true);
    EXPECT_TRUE(send->Visible());
    EXPECT_FALSE(send->Modal());
    EXPECT_EQ(send->lbIP.Text(), " 127.0.0.5 ");
    EXPECT_EQ(send->mmContent.Text(), "写了一半");
    EXPECT_EQ(GetFocus(), send->mmContent.Handle());

    send->btSendClick();
    ASSERT_TRUE(WaitForLines(2));
    EXPECT_EQ(Status(), (Lines{"（临时发送）:正在发送..", "（临时发送）:发送成功^_^"}));
    EXPECT_TRUE(
        dir.ReadLog(L"send.txt", *history->SendLog())
            .starts_with(lv::SendRecordText(kTime, "（临时发送）", " 127.0.0.5 ", "写了一半")));
    EXPECT_TRUE(dir.ReadLog(L"send.txt", *history->SendLog())
                    .find("接收者：（临时发送）( 127.0.0.5 )\r\n") != std::string::npos);

    // And once it is closed, the friend send opens it for the friend with an empty text.
    send->mmContent.SetText("取消后留下的");
    EXPECT_TRUE(SendToFriend(0, ""));
    ASSERT_TRUE(WaitForLines(4));
}

TEST_F(SendWindow, NoSelectedLineOpensNothing) {
    main->lsbNames.SetItemIndex(-1);
    lv::TTimer guard;
    bool opened = false;
    guard.SetInterval(50);
    guard.OnTimer = [&] {
        guard.SetEnabled(false);
        opened = send->Visible();
        send->Close();
    };
    guard.SetEnabled(true);
    main->lsbNamesDblClick();
    main->mnSendClick();
    EXPECT_FALSE(opened);
    EXPECT_FALSE(send->Visible());
    EXPECT_FALSE(send->OpenForFriend(2)) << "no such friend";
    EXPECT_FALSE(send->OpenForFriend(-1));
    EXPECT_FALSE(send->Visible());
}

// Exit while a worker still waits for the network: the end waits for the send, within the
// send's own deadline, so the record of a message the peer accepted is kept; the worker's
// last line is dropped, as the windows are going.
TEST(SendAtExit, ASendUnderWayAtExitIsWaitedForAndItsRecordKept) {
    DataFolder dir;
    lv::App().SetAnimateWindows(false);
    dir.Write(L"FRIENDS.DAT", lv::WriteFriendFile("我", {{"张三", "192.168.0.7"}}));
    auto main = std::make_unique<lv::TfrmMain>();
    auto history = std::make_unique<lv::TfrmHistory>(*main);
    auto send = std::make_unique<lv::TfrmSend>(*main);
    send->SetSendLog(history->SendLog());
    send->WorkerContext().clock = [] { return kTime; };
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> inService{false};
    send->WorkerContext().send = [&](const wchar_t*, const wchar_t*, const wchar_t*,
                                     const unsigned char*, unsigned long) {
        inService = true;
        WaitForSingleObject(release, 20000);
        return 0ul;
    };
    send->OpenForAddress("127.0.0.1");
    send->mmContent.SetText("退出前发的");
    send->btSendClick();
    ASSERT_TRUE(PumpUntil([&] { return inService.load(); }));

    main->ExitRequested = true;
    main->Close();
    // The peer accepts 3 s into the end: longer than the bound the other workers get.
    std::thread peer([release] {
        Sleep(3000);
        SetEvent(release);
    });
    const ULONGLONG start = GetTickCount64();
    lv::App().Shutdown(200);
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_EQ(lv::App().WorkerCount(), 0u) << "the send was waited for";
    EXPECT_GE(took, 2500u);
    EXPECT_LT(took, 15000u);
    EXPECT_TRUE(history->SendLog()->Finish(5000));
    send.reset();
    history.reset();
    main.reset();
    EXPECT_EQ(dir.Read(L"send.txt"),
              lv::SendRecordText(kTime, "（临时发送）", "127.0.0.1", "退出前发的"));
    EXPECT_FALSE(dir.Exists(L"send.txt.journal"));
    peer.join();
    CloseHandle(release);

    lv::App().Reopen();
    lv::App().ResetTerminated();
    lv::App().ProcessMessages();
    lv::App().ResetTerminated();
}

} // namespace
