// The framework's promises about the life of windows and workers: teardown without help
// from the form, modal loops that do not nest, fades for any form, focus that survives the
// showing, a pump that sleeps, and workers that can never reach a destroyed window.
#include "TestSupport.h"

#include "app/Main.h"
#include "framework/Controls.h"
#include "framework/Exception.h"
#include "framework/Form.h"
#include "framework/Thread.h"
#include "framework/Timer.h"

#include <atomic>
#include <memory>
#include <thread>

namespace {

using lvtest::DataFolder;
using lvtest::PumpUntil;

lv::FormLayout SmallLayout(bool fades = false) {
    lv::FormLayout layout;
    layout.caption = "测试窗口";
    layout.clientWidth = 200;
    layout.clientHeight = 120;
    layout.fades = fades;
    return layout;
}

std::atomic<bool> membersGone{false};
std::atomic<int> messagesAfterMembersGone{0};

// Declared last in the form, so destroyed first: from then on no message may arrive.
struct Sentinel {
    ~Sentinel() { membersGone = true; }
};

// A form as a new window is written: members and handlers, no destructor of its own.
class PlainForm : public lv::TForm {
  public:
    PlainForm() {
        CreateForm(SmallLayout());
        list.Create(*this, 501, 5, 5, 90, 80, 13);
        list.Add("甲");
        memo.Create(*this, 502, 100, 5, 90, 80, false);
        ok.Create(*this, 503, "确定", 5, 90, 75, 25);
        ok.OnClick = [this] { ++clicks; };
    }
    lv::TListBox list;
    lv::TMemo memo;
    lv::TButton ok;
    int clicks = 0;
    Sentinel sentinel;

  protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (membersGone)
            ++messagesAfterMembersGone;
        return TForm::HandleMessage(message, wParam, lParam);
    }
};

TEST(Teardown, AFormWithoutADestructorGetsNoMessageOnceItsMembersAreGone) {
    membersGone = false;
    messagesAfterMembersGone = 0;
    HWND hwnd = nullptr, memo = nullptr;
    {
        PlainForm form;
        hwnd = form.Handle();
        memo = form.memo.Handle();
        lv::App().SetAnimateWindows(false);
        form.Show();
        // The focus in a control makes its destruction notify the form (EN_KILLFOCUS).
        SetFocus(form.memo.Handle());
        PumpUntil([] { return false; }, 50);
    }
    EXPECT_TRUE(membersGone);
    EXPECT_EQ(messagesAfterMembersGone.load(), 0);
    EXPECT_FALSE(IsWindow(hwnd)) << "the form's window outlived the object";
    EXPECT_FALSE(IsWindow(memo)) << "a control's window outlived the form";
}

using ModalForm = lvtest::TestForm;

// A second ShowModal while the first runs (a hot key, a menu of another window) must not
// start a loop of its own: when the form closes, the first call returns and nothing else
// is left waiting.
TEST(Modal, ASecondShowModalDoesNotNestAndWindowsShownMeanwhileWork) {
    lv::App().SetAnimateWindows(false);
    ModalForm owner, dialog, shownLater;
    owner.Show();
    int secondResult = -1;
    bool secondReturnedWhileUp = false;
    bool laterEnabled = false, ownerDisabled = false;
    lv::TTimer probe;
    probe.SetInterval(20);
    probe.OnTimer = [&] {
        probe.SetEnabled(false);
        ownerDisabled = !IsWindowEnabled(owner.Handle());
        secondResult = dialog.ShowModal();
        secondReturnedWhileUp = dialog.Visible() && dialog.Modal();
        shownLater.Show();
        laterEnabled = IsWindowEnabled(shownLater.Handle()) != FALSE;
        dialog.SetModalResult(IDOK);
    };
    probe.SetEnabled(true);
    EXPECT_EQ(dialog.ShowModal(), IDOK);
    EXPECT_EQ(secondResult, 0);
    EXPECT_TRUE(secondReturnedWhileUp) << "the second call waited for the form to close";
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(laterEnabled) << "a window shown during the modal loop must be usable";
    EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
    EXPECT_FALSE(dialog.Modal());
    EXPECT_FALSE(dialog.Visible());
}

class FadingForm : public lvtest::TestForm {
  public:
    explicit FadingForm(bool fades) : TestForm("淡入淡出", 200, 120, fades) {}
};

TEST(Fade, EveryFadingFormFadesWhileTheSettingIsOnAndOnlyThen) {
    std::vector<std::pair<HWND, DWORD>> fades;
    lv::SetFadeObserver([&](HWND hwnd, DWORD flags) { fades.emplace_back(hwnd, flags); });
    FadingForm fading(true), plain(false);
    for (bool on : {true, false}) {
        SCOPED_TRACE(on ? "setting on" : "setting off");
        fades.clear();
        lv::App().SetAnimateWindows(on);
        fading.Show();
        EXPECT_TRUE(fading.Visible());
        fading.Hide();
        EXPECT_FALSE(fading.Visible());
        plain.Show();
        plain.Hide();
        if (on) {
            ASSERT_EQ(fades.size(), 2u);
            EXPECT_EQ(fades[0], std::make_pair(fading.Handle(), DWORD{AW_BLEND}));
            EXPECT_EQ(fades[1], std::make_pair(fading.Handle(), DWORD{AW_HIDE | AW_BLEND}));
        } else {
            EXPECT_TRUE(fades.empty());
        }
    }
    lv::SetFadeObserver(nullptr);
    lv::App().SetAnimateWindows(false);
}

class FocusForm : public lv::TForm {
  public:
    FocusForm() {
        CreateForm(SmallLayout(true));
        first.Create(*this, 601, "一", 5, 5, 75, 25);
        second.Create(*this, 602, "二", 5, 40, 75, 25);
    }
    lv::TButton first, second;

  protected:
    void FormShow() override { FocusControl(second); }
};

TEST(Focus, TheFocusAFormSetsWhileBeingShownSurvivesTheShowing) {
    for (bool fade : {false, true}) {
        SCOPED_TRACE(fade ? "with a fade" : "without a fade");
        lv::App().SetAnimateWindows(fade);
        FocusForm form;
        form.Show();
        PumpUntil([] { return false; }, 50);
        EXPECT_EQ(GetFocus(), form.second.Handle());
        form.Hide();
    }
    lv::App().SetAnimateWindows(false);
}

// Waiting for a flag must keep the windows alive without burning a core.
TEST(Pump, WaitUntilSleepsBetweenMessagesAndSeesAFlagSetElsewhere) {
    FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernelBefore, &userBefore);
    EXPECT_FALSE(lv::App().WaitUntil([] { return false; }, 600));
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernelAfter, &userAfter);
    auto ticks = [](FILETIME t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    ULONGLONG busy = ticks(kernelAfter) - ticks(kernelBefore) + ticks(userAfter) - ticks(userBefore);
    EXPECT_LT(busy, 3000000u) << "600 ms of waiting took " << busy / 10000 << " ms of CPU";

    std::atomic<bool> flag{false};
    bool timerRan = false;
    lv::TTimer timer;
    timer.SetInterval(10);
    timer.OnTimer = [&] { timerRan = true; };
    timer.SetEnabled(true);
    std::thread setter([&] {
        Sleep(150);
        flag = true;
    });
    EXPECT_TRUE(lv::App().WaitUntil([&] { return flag.load(); }, 10000));
    setter.join();
    EXPECT_TRUE(timerRan) << "the windows' messages were not handled while waiting";
}

// A worker as the send and presence workers are written: results through the main thread.
class LineWorker : public lv::TThread {
  public:
    LineWorker(lv::MainHub& hub, int id, std::atomic<int>& refused, std::atomic<int>& ended)
        : TThread(true), hub_(hub), id_(id), refused_(refused), ended_(ended) {}
    ~LineWorker() override { ++ended_; }

  protected:
    void Execute() override {
        for (int i = 0; i < 10000; ++i)
            if (!hub_.AddStatusLine("worker " + std::to_string(id_) + " line " + std::to_string(i)))
                ++refused_;
    }

  private:
    lv::MainHub& hub_;
    int id_;
    std::atomic<int>& refused_;
    std::atomic<int>& ended_;
};

std::atomic<bool> windowsGone{false};
std::atomic<int> closuresAfterTeardown{0};

TEST(Shutdown, WorkersPostingWhileTheProgramExitsNeverReachADestroyedWindow) {
    DataFolder dir;
    windowsGone = false;
    closuresAfterTeardown = 0;
    std::atomic<int> refused{0}, ended{0};
    auto main = std::make_unique<lv::TfrmMain>();
    for (int id = 0; id < 4; ++id)
        (new LineWorker(*main, id, refused, ended))->Start();
    // One more poster that would notice a closure running after the windows are gone.
    std::atomic<bool> stopWatcher{false};
    std::thread watcher([&] {
        while (!stopWatcher)
            if (!lv::App().Post([] {
                    if (windowsGone)
                        ++closuresAfterTeardown;
                }))
                Sleep(1);
    });
    PumpUntil([] { return false; }, 100);
    lv::App().SetAnimateWindows(false);
    main->ExitRequested = true;
    main->Close(); // as a confirmed Exit does
    EXPECT_TRUE(lv::App().Terminated());
    lv::App().Shutdown(3000);
    EXPECT_EQ(lv::App().WorkerCount(), 0u) << "a worker was still running after the bound";
    EXPECT_FALSE(lv::App().Post([] {})) << "posts after shutdown must be refused";
    main.reset();
    windowsGone = true;
    // Whatever is still around must not run now.
    for (int i = 0; i < 20; ++i) {
        lv::App().ProcessMessages();
        Sleep(5);
    }
    stopWatcher = true;
    watcher.join();
    EXPECT_EQ(closuresAfterTeardown.load(), 0);
    EXPECT_TRUE(PumpUntil([&] { return ended.load() == 4; }, 10000));

    lv::App().Reopen();
    lv::App().ResetTerminated();
    lv::App().ProcessMessages();
    lv::App().ResetTerminated();
}

// A worker that waits for the main thread must come back when the main thread does not
// answer, and the work it gave up on must then never run (it may refer to the worker's
// stack).
TEST(Send, AWorkersWaitHasABoundAndAbandonedWorkNeverRuns) {
    std::atomic<bool> ran{false};
    std::atomic<int> result{-1};
    ULONGLONG took = 0;
    std::thread worker([&] {
        ULONGLONG start = GetTickCount64();
        result = lv::App().Send([&] { ran = true; }, 300) ? 1 : 0;
        took = GetTickCount64() - start;
    });
    worker.join(); // the main thread pumps nothing meanwhile
    EXPECT_EQ(result.load(), 0);
    EXPECT_GE(took, 290u);
    EXPECT_LT(took, 3000u);
    PumpUntil([] { return false; }, 100);
    EXPECT_FALSE(ran.load());
}

// Blocks on an event the test owns, so that a stop that never reaches Cancel can still be
// undone by the test and a fault ends as a failure, not a hang. No destructor of its own:
// stopping it is its holder's job.
class BlockedWorker : public lv::TThread {
  public:
    explicit BlockedWorker(HANDLE event) : TThread(false), event_(event) {}
    std::atomic<bool> finished{false};

  protected:
    void Execute() override {
        WaitForSingleObject(event_, INFINITE);
        finished = true;
    }
    void Cancel() override { SetEvent(event_); }

  private:
    HANDLE event_;
};

// Waits for the main thread without a bound, as a worker that must hand over its result
// might.
class WaitingWorker : public lv::TThread {
  public:
    WaitingWorker(std::atomic<bool>& waiting, std::atomic<int>& answer)
        : TThread(false), waiting_(waiting), answer_(answer) {}

  protected:
    void Execute() override {
        waiting_ = true;
        answer_ = lv::App().Send([] {}, INFINITE) ? 1 : 0;
    }

  private:
    std::atomic<bool>& waiting_;
    std::atomic<int>& answer_;
};

// Destroys `holder` on another thread while the main thread handles no message, as the
// main thread does while it waits for a worker; true when that took less than `bound`.
// After the bound, `release` and the main thread's messages end the wait anyway.
template <class Holder>
bool DestroyedWithin(std::unique_ptr<Holder>& holder, DWORD bound,
                     const std::function<void()>& release) {
    HANDLE gone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread destroyer([&] {
        holder.reset();
        SetEvent(gone);
    });
    bool inTime = WaitForSingleObject(gone, bound) == WAIT_OBJECT_0;
    if (!inTime) {
        release();
        PumpUntil([&] { return WaitForSingleObject(gone, 0) == WAIT_OBJECT_0; }, 10000);
    }
    destroyer.join();
    CloseHandle(gone);
    return inTime;
}

TEST(Worker, TerminateClosesWhatTheWorkerBlocksOn) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        lv::TOwnedThread<BlockedWorker> worker(event);
        worker->Start();
        EXPECT_FALSE(worker->WaitFor(100));
        EXPECT_EQ(lv::App().WorkerCount(), 1u);
        worker->Terminate();
        EXPECT_TRUE(worker->WaitFor(5000));
        EXPECT_TRUE(worker->finished.load());
        EXPECT_EQ(lv::App().WorkerCount(), 0u);
    }
    CloseHandle(event);
}

// Dropping an owned worker must stop it through its own Cancel (a base destructor can only
// reach the base's, and its wait then never ends), also while the worker waits for a main
// thread that is busy waiting for it.
TEST(Worker, DroppingAnOwnedWorkerStopsItEvenWhileItWaitsForTheMainThread) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto blocked = std::make_unique<lv::TOwnedThread<BlockedWorker>>(event);
    BlockedWorker& worker = **blocked;
    worker.Start();
    EXPECT_FALSE(worker.WaitFor(100));
    EXPECT_TRUE(DestroyedWithin(blocked, 3000, [&] { SetEvent(event); }))
        << "the worker's own Cancel was never called";
    EXPECT_EQ(lv::App().WorkerCount(), 0u);
    CloseHandle(event);

    std::atomic<bool> waiting{false};
    std::atomic<int> answer{-1};
    auto sender = std::make_unique<lv::TOwnedThread<WaitingWorker>>(waiting, answer);
    (*sender)->Start();
    for (int i = 0; i < 400 && !waiting; ++i)
        Sleep(5);
    Sleep(50); // into its wait
    EXPECT_TRUE(DestroyedWithin(sender, 3000, [] {}))
        << "a stopped worker kept waiting for the main thread that waited for it";
    EXPECT_EQ(answer.load(), 0) << "its work must be refused, not run";
    EXPECT_EQ(lv::App().WorkerCount(), 0u);
    PumpUntil([] { return false; }, 50);

    // A worker nobody holds could never be stopped before it is destroyed.
    BlockedWorker loose(nullptr);
    EXPECT_THROW(loose.Start(), lv::Exception);
    EXPECT_EQ(lv::App().WorkerCount(), 0u);
}

} // namespace
