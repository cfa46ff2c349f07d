#include "TestSupport.h"

#include "app/Main.h"
#include "framework/Gbk.h"
#include "settings/SettingsStore.h"

#include <thread>

namespace {

using lvtest::DataFolder;
using lvtest::MessageBoxes;
using lvtest::PumpUntil;
using Lines = std::vector<std::string>;

// The whole literal, NULs included.
template <size_t N> std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

Lines Welcome() {
    return {"欢迎使用Lumivale！", "当前版本：1.32", ""};
}

Lines Concat(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const char kDamaged[] = "数据文件出错！建议删除错误的数据文件Friends.dat，然后重新运行本软件。";

// The status area after start-up, line by line, and the list it leaves, for each kind of
// FRIENDS.DAT a user can have.
TEST(StartUp, StatusLinesAndListForEachFriendFile) {
    struct Case {
        const char* what;
        std::optional<std::string> file;
        Lines lines; // after the welcome lines
        Lines names;
        int count;
        std::string sender;
    } cases[] = {
        {"no file",
         std::nullopt,
         {"正在读取好友数据..", "未找到数据文件！请添加好友，并设置发送者的名字。"},
         {},
         0,
         "Sender"},
        {"the documented one-friend file",
         Bytes("1 1 \0Sender\0Bob\00010.0.0.2\0END"),
         {"正在读取好友数据..", "数据文件版本:1.0", "好友个数：1", "发送者名字：Sender",
          "好友数据读取完毕！"},
         {"Bob"},
         1,
         "Sender"},
        {"Chinese names, version 2, junk before the header NUL, END then a line break",
         "2 2 junk" + Bytes("\0我\0张三\000192.168.1.5\0李四\0PC-LI\0END\r\n"),
         {"正在读取好友数据..", "数据文件版本:2.0", "好友个数：2", "发送者名字：我",
          "好友数据读取完毕！"},
         {"张三", "李四"},
         2,
         "我"},
        {"no END",
         Bytes("1 1 \0S\0Bob\0a\0"),
         {"正在读取好友数据..", "数据文件版本:1.0", "好友个数：1", "发送者名字：S", kDamaged},
         {},
         0,
         "S"},
        {"END followed by a letter",
         Bytes("1 1 \0S\0Bob\0a\0ENDX"),
         {"正在读取好友数据..", "数据文件版本:1.0", "好友个数：1", "发送者名字：S", kDamaged},
         {},
         0,
         "S"},
        {"count larger than the records",
         Bytes("1 3 \0S\0Bob\0a\0END"),
         {"正在读取好友数据..", "数据文件版本:1.0", "好友个数：3", "发送者名字：S", kDamaged},
         {},
         0,
         "S"},
        {"count beyond what the list can hold",
         Bytes("1 501 \0S\0END"),
         {"正在读取好友数据..", "数据文件版本:1.0", "好友个数：501", kDamaged},
         {},
         0,
         "Sender"},
        {"not numbers at all", "garbage", {"正在读取好友数据..", kDamaged}, {}, 0, "Sender"},
        {"empty file", "", {"正在读取好友数据..", kDamaged}, {}, 0, "Sender"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataFolder dir;
        if (c.file)
            dir.Write(L"FRIENDS.DAT", *c.file);
        lv::TfrmMain main;
        EXPECT_EQ(main.mmOutput.Lines(), Concat(Welcome(), c.lines));
        EXPECT_EQ(main.lsbNames.Items(), c.names);
        EXPECT_EQ(main.Friends().Count(), c.count);
        EXPECT_EQ(main.Friends().SenderName(), c.sender);
        for (int i = 0; i < c.count; ++i)
            EXPECT_EQ(main.Friends().At(i).name, c.names[static_cast<size_t>(i)]);
    }
}

TEST(FriendFile, SaveWritesTheDocumentedBytesAndReadsBackTheSame) {
    DataFolder dir;
    // Two main windows live at once below, and only one can hold the (default) hot key.
    dir.Write(L"Lumivale.ini", "[Options]\r\nEnableHotkey=0\r\n");
    lv::TfrmMain main;
    main.Friends().SetSenderName("Sender");
    main.Friends().Add({"Bob", "10.0.0.2"});
    main.btClearClick();
    main.SaveFriends();
    EXPECT_EQ(main.mmOutput.Lines(), Lines{"数据文件保存成功！"});
    EXPECT_EQ(main.lsbNames.Items(), Lines{"Bob"}) << "the list shows what was saved";
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), Bytes("1 1 \0Sender\0Bob\00010.0.0.2\0END"));
    EXPECT_FALSE(dir.Exists(L"FRIENDS.DAT.tmp"));

    // A full list of 500 is written and read back whole.
    for (int i = 1; i < lv::kMaxFriends; ++i)
        ASSERT_TRUE(main.Friends().Add({"n" + std::to_string(i), "a"}));
    EXPECT_FALSE(main.Friends().Add({"one too many", "a"}));
    main.SaveFriends();
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT").substr(0, 7), Bytes("1 500 \0"));
    lv::TfrmMain reread;
    EXPECT_EQ(reread.Friends().Count(), lv::kMaxFriends);
    EXPECT_EQ(reread.lsbNames.Count(), lv::kMaxFriends);
}

// A save that cannot write must say so and bring back what the file holds, not leave the
// unsaved change on screen as if it were stored.
TEST(FriendFile, FailedSaveReportsAndRestoresTheFilesContent) {
    struct Case {
        const char* what;
        const wchar_t* blocked;
    } cases[] = {{"temporary file blocked", L"FRIENDS.DAT.tmp"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataFolder dir;
        std::string file = Bytes("1 2 \0Me\0A\0a\0B\0b\0END");
        dir.Write(L"FRIENDS.DAT", file);
        lv::TfrmMain main;
        main.Friends().Add({"C", "c"});
        dir.Block(c.blocked);
        main.btClearClick();
        main.SaveFriends();
        EXPECT_EQ(
            main.mmOutput.Lines(),
            (Lines{"数据文件保存出错！恢复原有数据...", "正在读取好友数据..", "数据文件版本:1.0",
                   "好友个数：2", "发送者名字：Me", "好友数据读取完毕！"}));
        EXPECT_EQ(main.lsbNames.Items(), (Lines{"A", "B"}));
        EXPECT_EQ(main.Friends().Count(), 2);
        EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), file) << "the old file must survive a failed save";
    }
}

TEST(FriendFile, FailedSaveWithNoFileLeavesAnEmptyList) {
    DataFolder dir;
    lv::TfrmMain main;
    main.Friends().Add({"A", "a"});
    dir.Block(L"FRIENDS.DAT");
    main.btClearClick();
    main.SaveFriends();
    EXPECT_EQ(main.mmOutput.Lines(),
              (Lines{"数据文件保存出错！恢复原有数据...", "正在读取好友数据..",
                     "数据文件无法读取（可能正被其他程序使用）！本次运行不会改写它。"}))
        << "a directory in the file's place is there but cannot be read";
    EXPECT_EQ(main.lsbNames.Count(), 0);
    EXPECT_EQ(main.Friends().Count(), 0);
    EXPECT_EQ(main.Friends().SenderName(), "Sender");
}

TEST(FriendFile, DeleteAsksThenClosesTheGapAndSaves) {
    DataFolder dir;
    dir.Write(L"FRIENDS.DAT", Bytes("1 3 \0S\0A\0a\0B\0b\0C\0c\0END"));
    lv::TfrmMain main;
    {
        MessageBoxes boxes;
        boxes.Answer(IDOK);
        main.btDeleteClick();
        ASSERT_EQ(boxes.asked.size(), 1u);
        EXPECT_EQ(boxes.asked[0].text, "请先选择一个好友！");
        EXPECT_EQ(boxes.asked[0].caption, "选择好友");
        EXPECT_EQ(boxes.asked[0].type, static_cast<UINT>(MB_OK));
    }
    main.lsbNames.SetItemIndex(1);
    {
        MessageBoxes boxes;
        boxes.Answer(IDNO);
        main.btDeleteClick();
        ASSERT_EQ(boxes.asked.size(), 1u);
        EXPECT_EQ(boxes.asked[0].text, "确认删除好友B？");
        EXPECT_EQ(boxes.asked[0].caption, "手下留情");
        EXPECT_EQ(main.Friends().Count(), 3);
    }
    {
        MessageBoxes boxes;
        boxes.Answer(IDYES);
        main.btDeleteClick();
    }
    EXPECT_EQ(main.lsbNames.Items(), (Lines{"A", "C"}));
    EXPECT_EQ(main.Friends().At(1).address, "c");
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), Bytes("1 2 \0S\0A\0a\0C\0c\0END"));
}

// A worker hands over the address; the name is looked up when the main thread adds the
// line, so the worker never waits and sees the list as it is then.
TEST(FriendFile, FriendLinesFromAWorkerNameTheFirstExactMatchWithoutWaiting) {
    DataFolder dir;
    dir.Write(L"FRIENDS.DAT", Bytes("1 3 \0S\0A\00010.0.0.2\0B\00010.0.0.2\0C\0pc\0END"));
    lv::TfrmMain main;
    ASSERT_EQ(main.Friends().Count(), 3);
    main.btClearClick();
    struct Case {
        const char* address;
        const char* line;
    } cases[] = {{"10.0.0.2", "A 在线"},
                 {"pc", "C 在线"},
                 {"PC", "出错了 在线"},
                 {"10.0.0.20", "出错了 在线"},
                 {"", "出错了 在线"}};
    std::thread worker([&] {
        for (const Case& c : cases)
            main.AddFriendStatusLine(c.address, " 在线");
    });
    worker.join(); // returned without the main thread having pumped once
    EXPECT_TRUE(main.mmOutput.Lines().empty());
    EXPECT_TRUE(PumpUntil([&] { return main.mmOutput.LineCount() == 5; }));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(main.mmOutput.Line(static_cast<int>(i)), cases[i].line) << cases[i].address;
}

// Lines from several threads: each whole, each thread's in its order, none lost, and the
// text box touched only by the main thread.
TEST(StatusArea, LinesFromFourThreadsStayWholeAndInOrder) {
    DataFolder dir;
    lv::TfrmMain main;
    main.btClearClick();
    constexpr int kThreads = 4, kEach = 1000;
    auto lineOf = [](int t, int i) {
        return "线程" + std::to_string(t) + " 第" + std::to_string(i) + "行 ----------";
    };
    size_t expectedLength = 0;
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kEach; ++i)
            expectedLength += lv::ToWide(lineOf(t, i)).size() + 2;
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                main.AddStatusLine(lineOf(t, i));
            ++finished;
        });
    // The main thread does not pump yet: a worker must hand its lines over without waiting
    // for it, and the text box must not change until the main thread runs them.
    for (int waited = 0; finished < kThreads && waited < 30000; waited += 10)
        Sleep(10);
    EXPECT_EQ(finished.load(), kThreads) << "a worker waited for the main thread";
    EXPECT_EQ(GetWindowTextLengthW(main.mmOutput.Handle()), 0)
        << "the text box was changed off the main thread";
    EXPECT_TRUE(PumpUntil(
        [&] {
            return static_cast<size_t>(GetWindowTextLengthW(main.mmOutput.Handle())) >=
                   expectedLength;
        },
        60000));
    for (auto& w : workers)
        w.join();
    lv::App().ProcessMessages();
    Lines lines = main.mmOutput.Lines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kEach));
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        bool matched = false;
        for (int t = 0; t < kThreads && !matched; ++t) {
            if (line == lineOf(t, next[static_cast<size_t>(t)])) {
                ++next[static_cast<size_t>(t)];
                matched = true;
            }
        }
        ASSERT_TRUE(matched) << "torn or out-of-order line: " << line;
    }
}

class Closing : public testing::Test {
  protected:
    void TearDown() override {
        // A confirmed Exit ends the loop; the next test starts with a fresh one.
        lv::App().ProcessMessages();
        lv::App().ResetTerminated();
    }
    int StoredX() const {
        return lv::SettingsStore((dir / L"Lumivale.ini").wstring()).Load({"", -1, -1}).X;
    }
    int StoredY() const {
        return lv::SettingsStore((dir / L"Lumivale.ini").wstring()).Load({"", -1, -1}).Y;
    }
    void ShowAt(int x, int y) {
        lv::App().SetAnimateWindows(false);
        main->SetPosition(x, y);
        main->Show();
    }

    DataFolder dir;
    std::unique_ptr<lv::TfrmMain> main = std::make_unique<lv::TfrmMain>();
};

TEST_F(Closing, CloseButtonHidesAndStoresThePosition) {
    ShowAt(321, 123);
    main->Close();
    EXPECT_FALSE(main->Visible());
    EXPECT_FALSE(lv::App().Terminated());
    EXPECT_EQ(StoredX(), 321);
    EXPECT_EQ(StoredY(), 123);
    // The next start puts the window there (the first one gone, with the hot key it held).
    main.reset();
    lv::TfrmMain next;
    EXPECT_EQ(next.Left(), 321);
    EXPECT_EQ(next.Top(), 123);
}

TEST_F(Closing, ExitAnsweredNoHidesWithoutStoringAnything) {
    ShowAt(50, 60);
    MessageBoxes boxes;
    boxes.Answer(IDNO);
    main->mnExitClick();
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_EQ(boxes.asked[0].text, "退出后就无法拦截Windows信使信息，按“否”隐藏窗口，“是”退出。");
    EXPECT_EQ(boxes.asked[0].caption, "请留步");
    EXPECT_EQ(boxes.asked[0].type, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(boxes.asked[0].owner, lv::App().Handle());
    EXPECT_FALSE(main->Visible());
    EXPECT_FALSE(main->ExitRequested);
    EXPECT_FALSE(lv::App().Terminated());
    EXPECT_FALSE(dir.Exists(L"Lumivale.ini"));
}

TEST_F(Closing, ExitAnsweredYesStoresThePositionAndEnds) {
    ShowAt(70, 80);
    MessageBoxes boxes;
    boxes.Answer(IDYES);
    main->mnExitClick();
    EXPECT_TRUE(main->ExitRequested);
    EXPECT_TRUE(lv::App().Terminated());
    EXPECT_EQ(StoredX(), 70);
    EXPECT_EQ(StoredY(), 80);
}

// An unwritable settings file costs only the stored position: the close still hides the
// window, and a confirmed Exit still ends the program, with no error box in between.
TEST_F(Closing, UnwritableSettingsFileDoesNotStopTheClose) {
    dir.Block(L"Lumivale.ini");
    ShowAt(90, 100);
    {
        MessageBoxes noBoxExpected;
        main->Close();
        EXPECT_TRUE(noBoxExpected.asked.empty());
    }
    EXPECT_FALSE(main->Visible());
    EXPECT_FALSE(lv::App().Terminated());

    main->Show();
    MessageBoxes boxes;
    boxes.Answer(IDYES);
    main->mnExitClick();
    EXPECT_EQ(boxes.asked.size(), 1u) << "only the exit question";
    EXPECT_TRUE(lv::App().Terminated());
    EXPECT_FALSE(main->Visible());
}

TEST(Settings, DefaultsAndStoredValuesAtStartUp) {
    {
        DataFolder dir;
        lv::TfrmMain main;
        EXPECT_EQ(main.Left(), GetSystemMetrics(SM_CXSCREEN) - main.Width() - 10);
        EXPECT_EQ(main.Top(), (GetSystemMetrics(SM_CYSCREEN) - main.Height()) / 2);
        const lv::Settings& s = main.CurrentSettings();
        EXPECT_EQ(s.SoundFile, lv::ToGbk(lv::AppDirectory()) + "msg.wav");
        EXPECT_TRUE(s.EnableSound);
        EXPECT_TRUE(s.AnimateWindow);
        EXPECT_TRUE(lv::App().AnimateWindows());
        EXPECT_TRUE(s.EnableHotkey);
        EXPECT_EQ(s.HotKey, 0);
        EXPECT_EQ(main.VersionText, "1.32");
        EXPECT_EQ(main.TrayHint, "Lumivale 1.32 by Kestro");
    }
    {
        DataFolder dir;
        dir.Write(L"Lumivale.ini", "[Position]\r\nX=-500\r\nY=3000\r\n[Options]\r\n"
                                   "SoundFile=D:\\声音.wav\r\nEnableSound=0\r\nAnimateWindow=0\r\n"
                                   "EnableHotkey=0\r\nHotKey=114753\r\n");
        lv::TfrmMain main;
        // Off every monitor (one that is gone): the default position instead.
        EXPECT_EQ(main.Left(), GetSystemMetrics(SM_CXSCREEN) - main.Width() - 10);
        EXPECT_EQ(main.Top(), (GetSystemMetrics(SM_CYSCREEN) - main.Height()) / 2);
        const lv::Settings& s = main.CurrentSettings();
        EXPECT_EQ(s.SoundFile, "D:\\声音.wav");
        EXPECT_FALSE(s.EnableSound);
        EXPECT_FALSE(s.AnimateWindow);
        EXPECT_FALSE(lv::App().AnimateWindows()) << "the one setting every fading form follows";
        EXPECT_FALSE(s.EnableHotkey);
        EXPECT_EQ(s.HotKey, 114753 & 0xFFFF);
    }
    {
        // Half off the left edge, its title bar still on the screen: used as stored.
        DataFolder dir;
        dir.Write(L"Lumivale.ini", "[Position]\r\nX=-100\r\nY=20\r\n[Options]\r\n"
                                   "EnableHotkey=0\r\n");
        lv::TfrmMain main;
        EXPECT_EQ(main.Left(), -100);
        EXPECT_EQ(main.Top(), 20);
    }
}

} // namespace

namespace {

// A FRIENDS.DAT that is there but cannot be read must never be taken for a missing one:
// the first save would replace the user's real list with whatever this run added.
TEST(FriendFile, AFileThatCannotBeReadIsReportedAndNeverReplaced) {
    DataFolder dir;
    std::string original = Bytes("1 2 \0Me\0A\0a\0B\0b\0END");
    dir.Write(L"FRIENDS.DAT", original);
    HANDLE held = CreateFileW((dir / L"FRIENDS.DAT").wstring().c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    lv::TfrmMain main;
    EXPECT_EQ(
        main.mmOutput.Lines(),
        Concat(Welcome(), {"正在读取好友数据..",
                           "数据文件无法读取（可能正被其他程序使用）！本次运行不会改写它。"}));
    EXPECT_TRUE(main.FriendFileProtected());
    main.Friends().Add({"New", "10.0.0.9"});
    main.btClearClick();
    main.SaveFriends();
    CloseHandle(held);
    EXPECT_EQ(main.mmOutput.Lines(), Lines{"数据文件无法读取，为保护原有数据，本次修改未保存！"});
    EXPECT_EQ(main.lsbNames.Items(), Lines{"New"}) << "the change stays on screen for this run";
    // Even once the other program has let go, this run does not write over the file.
    main.SaveFriends();
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), original);
}

// A file read as damaged may still be the user's only copy of the list: the first save
// keeps its exact bytes beside it, under a name no older copy has, and says where.
TEST(FriendFile, ADamagedFileIsKeptBesideItBeforeTheFirstSave) {
    const std::string damaged = Bytes("1 3 \0Me\0Bob\0a\0END");
    struct Case {
        const char* what;
        std::vector<std::wstring> older; // copies already there, left alone
        std::wstring copy;
    } cases[] = {
        {"no older copy", {}, L"FRIENDS.DAT.bak"},
        {"one older copy", {L"FRIENDS.DAT.bak"}, L"FRIENDS.DAT.bak1"},
        {"two older copies", {L"FRIENDS.DAT.bak", L"FRIENDS.DAT.bak1"}, L"FRIENDS.DAT.bak2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataFolder dir;
        dir.Write(L"FRIENDS.DAT", damaged);
        for (const std::wstring& name : c.older)
            dir.Write(name, "older " + lv::ToGbk(name));
        lv::TfrmMain main;
        main.Friends().Add({"New", "10.0.0.9"});
        main.btClearClick();
        EXPECT_TRUE(main.SaveFriends());
        EXPECT_EQ(dir.Read(c.copy), damaged);
        for (const std::wstring& name : c.older)
            EXPECT_EQ(dir.Read(name), "older " + lv::ToGbk(name));
        EXPECT_EQ(main.mmOutput.Lines(),
                  (Lines{"已将出错的数据文件原样备份为" + lv::ToGbk((dir / c.copy).wstring()),
                         "数据文件保存成功！"}));
        EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), Bytes("1 1 \0Me\0New\00010.0.0.9\0END"));

        // The file is fine now: later saves are plain saves.
        main.btClearClick();
        main.SaveFriends();
        EXPECT_EQ(main.mmOutput.Lines(), Lines{"数据文件保存成功！"});
        EXPECT_FALSE(dir.Exists(L"FRIENDS.DAT.bak" + std::to_wstring(c.older.size() + 1)));
    }

    // A file that is fine is saved as it always was, with no copy.
    DataFolder dir;
    dir.Write(L"FRIENDS.DAT", Bytes("1 0 \0Me\0END"));
    lv::TfrmMain main;
    main.Friends().Add({"New", "10.0.0.9"});
    main.btClearClick();
    main.SaveFriends();
    EXPECT_EQ(main.mmOutput.Lines(), Lines{"数据文件保存成功！"});
    EXPECT_FALSE(dir.Exists(L"FRIENDS.DAT.bak"));
}

// The copy comes first or the save does not happen; and a save that fails after the copy
// reads the same damaged file back without copying it twice.
TEST(FriendFile, ADamagedFileIsNeverReplacedWithoutItsCopy) {
    DataFolder dir;
    const std::string damaged = Bytes("1 3 \0Me\0Bob\0a\0END");
    dir.Write(L"FRIENDS.DAT", damaged);
    lv::TfrmMain main;
    // Another program holds the file after start-up: it cannot be copied.
    HANDLE held = CreateFileW((dir / L"FRIENDS.DAT").wstring().c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    main.Friends().Add({"New", "10.0.0.9"});
    main.btClearClick();
    EXPECT_FALSE(main.SaveFriends());
    CloseHandle(held);
    EXPECT_EQ(main.mmOutput.Lines(),
              Lines{"无法备份出错的数据文件，为保护原有数据，本次修改未保存！"});
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), damaged);
    EXPECT_FALSE(dir.Exists(L"FRIENDS.DAT.bak"));
    EXPECT_EQ(main.lsbNames.Items(), Lines{"New"}) << "the change stays on screen";

    // Now the copy is made, but the file itself cannot be written.
    dir.Block(L"FRIENDS.DAT.tmp");
    main.btClearClick();
    EXPECT_FALSE(main.SaveFriends());
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT.bak"), damaged);
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), damaged);
    std::filesystem::remove(dir / L"FRIENDS.DAT.tmp");

    main.Friends().Add({"Again", "10.0.0.8"});
    main.btClearClick();
    EXPECT_TRUE(main.SaveFriends());
    EXPECT_EQ(main.mmOutput.Lines(), Lines{"数据文件保存成功！"}) << "one copy, said once";
    EXPECT_FALSE(dir.Exists(L"FRIENDS.DAT.bak1"));
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT.bak"), damaged);
}

TEST(FriendFile, AHugeFileIsADamagedFileAndStartUpGoesOn) {
    DataFolder dir;
    std::string huge = Bytes("1 1 \0S\0Bob\0a\0END");
    huge.resize(lv::TfrmMain::kMaxFriendFileBytes + 1, ' ');
    dir.Write(L"FRIENDS.DAT", huge);
    lv::TfrmMain main;
    EXPECT_EQ(main.mmOutput.Lines(), Concat(Welcome(), {"正在读取好友数据..", "数据文件版本:1.0",
                                                        "好友个数：1", "发送者名字：S", kDamaged}));
    EXPECT_EQ(main.lsbNames.Count(), 0);
    EXPECT_FALSE(main.FriendFileProtected());
}

} // namespace
