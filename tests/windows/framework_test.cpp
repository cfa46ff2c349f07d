#include "TestSupport.h"

#include "framework/Controls.h"
#include "framework/Exception.h"
#include "framework/Form.h"
#include "framework/Gbk.h"
#include "settings/SettingsStore.h"
#include "framework/Timer.h"

#include <atomic>
#include <thread>

namespace {

using lvtest::DataFolder;
using lvtest::MessageBoxes;
using lvtest::PumpUntil;

// A writer that truncates first and fails half-way would leave a cut file; the atomic
// write must leave the old bytes or the new ones, and say which.
TEST(AtomicWrite, ReplacesWholeOrLeavesTheOldFileAndReportsFailure) {
    DataFolder dir;
    std::string binary("1 1 \0S\0\xC4\xE3\0a\0END", 15);
    std::wstring target = (dir / L"FRIENDS.DAT").wstring();

    ASSERT_TRUE(lv::WriteFileAtomic(target, binary));
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), binary);
    ASSERT_TRUE(lv::WriteFileAtomic(target, "short"));
    EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), "short") << "the longer old file must not shine through";
    EXPECT_FALSE(dir.Exists(L"FRIENDS.DAT.tmp"));

    struct Case {
        const wchar_t* blocked;
        const char* what;
    } cases[] = {{L"FRIENDS.DAT.tmp", "temporary file cannot be made"},
                 {L"OTHER.DAT", "target is a directory"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.Block(c.blocked);
        std::wstring path =
            std::wstring(c.blocked) == L"OTHER.DAT" ? (dir / L"OTHER.DAT").wstring() : target;
        EXPECT_FALSE(lv::WriteFileAtomic(path, "new content"));
        EXPECT_EQ(dir.Read(L"FRIENDS.DAT"), "short");
        EXPECT_TRUE(std::filesystem::is_directory(dir / c.blocked)) << "what was there stays";
        if (std::wstring(c.blocked) == L"OTHER.DAT") {
            EXPECT_FALSE(dir.Exists(L"OTHER.DAT.tmp")) << "a failed replace leaves no temporary";
        }
    }
}

TEST(AtomicWrite, PathsWithChineseAndBackslashTrailBytesWork) {
    DataFolder dir;
    // 表 is B1 ED, 誠 has the trail byte 5C, the backslash of a GBK path split as bytes.
    std::wstring folder = (dir / L"好友\u8aa0表").wstring();
    std::filesystem::create_directory(folder);
    ASSERT_TRUE(lv::WriteFileAtomic(folder + L"\\FRIENDS.DAT", "x"));
    EXPECT_EQ(lv::ReadWholeFile(folder + L"\\FRIENDS.DAT"), std::optional<std::string>("x"));
    EXPECT_EQ(lv::ReadWholeFile(folder + L"\\missing"), std::nullopt);
}

// One save is one atomic replace: what was written reads back, and a save that cannot
// reach the disk raises the documented error and leaves the old file whole.
TEST(SettingsStore, SavesReadBackAndAFailedSaveRaisesTheDocumentedError) {
    DataFolder dir;
    std::wstring path = (dir / L"Lumivale.ini").wstring();
    lv::SettingsStore store(path);
    lv::SettingsDefaults defaults{"msg.wav", -7, -8};
    lv::Settings s = store.Load(defaults);
    EXPECT_EQ(s.X, -7);
    s.X = 412;
    s.SoundFile = "C:\\声音\\msg.wav";
    s.StartHide = true;
    store.Save(s, lv::kPositionGroup | lv::kOptionsGroup);
    lv::Settings again = lv::SettingsStore(path).Load(defaults);
    EXPECT_EQ(again.X, 412);
    EXPECT_EQ(again.SoundFile, "C:\\声音\\msg.wav");
    EXPECT_TRUE(again.StartHide);
    std::string before = dir.Read(L"Lumivale.ini");

    dir.Block(L"Lumivale.ini.tmp");
    s.X = 1;
    try {
        store.Save(s, lv::kPositionGroup);
        FAIL() << "a save that did not reach the disk was reported as done";
    } catch (const lv::Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + lv::ToGbk(path));
    }
    EXPECT_EQ(dir.Read(L"Lumivale.ini"), before);
}

// Workers hand work to the main thread; each thread's calls must run in order, none lost.
TEST(MainThreadHandoff, PostedWorkRunsOnTheMainThreadInEachThreadsOrder) {
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::vector<int>> seen(kThreads);
    std::atomic<int> offMain{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                lv::App().Post([&, t, i] {
                    if (!lv::App().IsMainThread())
                        ++offMain;
                    seen[static_cast<size_t>(t)].push_back(i);
                });
        });
    }
    auto total = [&] {
        size_t n = 0;
        for (auto& s : seen)
            n += s.size();
        return n;
    };
    EXPECT_TRUE(PumpUntil([&] { return total() == kThreads * kEach; }));
    for (auto& w : workers)
        w.join();
    EXPECT_EQ(offMain.load(), 0);
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[static_cast<size_t>(t)].size(), static_cast<size_t>(kEach));
        for (int i = 0; i < kEach; ++i)
            ASSERT_EQ(seen[static_cast<size_t>(t)][static_cast<size_t>(i)], i) << "thread " << t;
    }
}

TEST(MainThreadHandoff, SendWaitsUntilTheWorkHasRun) {
    int value = 0;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        lv::App().Send([&] { value = 42; });
        EXPECT_EQ(value, 42);
        returned = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
}

TEST(ErrorBox, AnExceptionEscapingAHandlerIsShownAndTheLoopGoesOn) {
    MessageBoxes boxes;
    boxes.Answer(IDOK);
    boxes.Answer(IDOK);
    bool later = false;
    std::thread worker([&] {
        lv::App().Post([] { throw lv::Exception("Unable to write to C:\\x"); });
        lv::App().Post([] { throw 7; });
        lv::App().Post([&] { later = true; });
    });
    worker.join();
    EXPECT_TRUE(PumpUntil([&] { return later; }));
    ASSERT_EQ(boxes.asked.size(), 2u);
    EXPECT_EQ(boxes.asked[0].text, "Unable to write to C:\\x");
    EXPECT_EQ(boxes.asked[0].caption, "Lumivale");
    EXPECT_EQ(boxes.asked[1].text, "");
}

TEST(Timer, FiresOnTheMainThreadOnlyWhileEnabled) {
    lv::TTimer timer;
    int ticks = 0;
    timer.OnTimer = [&] {
        ++ticks;
        if (ticks == 3)
            timer.SetEnabled(false);
    };
    timer.SetInterval(10);
    EXPECT_FALSE(timer.Enabled());
    timer.SetEnabled(true);
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }, 5000));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(ticks, 3) << "a disabled timer went on firing";
}

class Dialog : public lvtest::TestForm {
  public:
    Dialog() : TestForm("测试", 200, 100) {
        ok.Create(*this, 301, "确定", 10, 60, 75, 25);
        cancel.Create(*this, 302, "取消", 110, 60, 75, 25);
        ok.OnClick = [this] { SetModalResult(IDOK); };
        cancel.OnClick = [this] { SetModalResult(IDCANCEL); };
        SetDefaultButton(&ok);
        SetCancelButton(&cancel);
    }
    lv::TButton ok, cancel;
};

// A modal window must keep the others disabled while it is up, end on its buttons, Enter,
// Esc or its close box, and leave the others usable again.
TEST(Form, ShowModalDisablesTheOthersAndEndsOnEveryWayOut) {
    Dialog owner;
    owner.Show();
    Dialog dialog;
    struct Case {
        const char* way;
        std::function<void(Dialog&)> act;
        int result;
    } cases[] = {
        {"OK button", [](Dialog& d) { PostMessageW(d.ok.Handle(), BM_CLICK, 0, 0); }, IDOK},
        {"Enter", [](Dialog& d) { PostMessageW(d.ok.Handle(), WM_KEYDOWN, VK_RETURN, 0); }, IDOK},
        {"Esc", [](Dialog& d) { PostMessageW(d.ok.Handle(), WM_KEYDOWN, VK_ESCAPE, 0); }, IDCANCEL},
        {"close box", [](Dialog& d) { PostMessageW(d.Handle(), WM_CLOSE, 0, 0); }, IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.way);
        bool ownerWasDisabled = false;
        lv::TTimer probe;
        probe.SetInterval(20);
        probe.OnTimer = [&] {
            probe.SetEnabled(false);
            ownerWasDisabled = !IsWindowEnabled(owner.Handle()) && dialog.Visible();
            c.act(dialog);
        };
        probe.SetEnabled(true);
        EXPECT_EQ(dialog.ShowModal(), c.result);
        EXPECT_TRUE(ownerWasDisabled);
        EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
        EXPECT_FALSE(dialog.Visible());
    }
}

TEST(Memo, EachAppendedLineIsOneLineAndTheLastStaysInView) {
    Dialog form;
    lv::TMemo memo;
    memo.Create(form, 400, 0, 0, 120, 60, true);
    EXPECT_EQ(memo.LineCount(), 0);
    std::vector<std::string> lines = {"欢迎使用Lumivale！", "", "好友个数：3"};
    for (int i = 0; i < 40; ++i)
        lines.push_back("line " + std::to_string(i));
    for (const auto& line : lines)
        memo.AppendLine(line);
    EXPECT_EQ(memo.Lines(), lines);
    EXPECT_EQ(memo.Line(2), "好友个数：3");
    int first = static_cast<int>(SendMessageW(memo.Handle(), EM_GETFIRSTVISIBLELINE, 0, 0));
    EXPECT_GT(first, 30) << "the memo did not scroll to its last line";
    memo.Clear();
    memo.AppendLine("清");
    EXPECT_EQ(memo.Lines(), std::vector<std::string>{"清"});
}

} // namespace
