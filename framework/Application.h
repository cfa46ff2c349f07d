#pragma once
// The application object: message loop, title, the error box for exceptions that escape a
// handler, window timers, the window-effects setting, and the hand-over of work from worker
// threads to the main thread. One per process, used from the main thread except where a
// method says so.
#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace lv {

class TForm;
class TTimer;
class TThread;

class Application {
  public:
    // Registers the window classes and makes the hidden windows; the calling thread
    // becomes the main thread. Further calls do nothing.
    void Initialize();

    const std::string& Title() const { return title_; }
    void SetTitle(std::string gbkTitle) { title_ = std::move(gbkTitle); }

    // The hidden application window: owner of every form (so that no form has a taskbar
    // button of its own) and of the message boxes that no form owns.
    HWND Handle() const { return appWindow_; }

    // Shows the main form if asked and runs the loop until Terminate (neither once told to end).
    void Run(TForm& mainForm, bool showMainForm);
    // Handles the messages waiting, then returns; at most about 100 ms of them, so that a
    // flood of posts cannot hold the caller.
    void ProcessMessages();
    // Keeps the windows alive until `done` is true, the loop is told to end, or (when
    // given) the time is up: sleeps while no message comes instead of spinning. True when
    // `done`. `done` is asked again after every batch of messages and every 50 ms.
    bool WaitUntil(const std::function<bool()>& done, DWORD milliseconds = INFINITE);
    // One message through dialog keys (Tab, Enter, Esc) and on to its window.
    void Dispatch(MSG& message);
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Tests only: after a test has ended the loop, the next one starts afresh.
    void ResetTerminated() { terminated_ = false; }

    // The error box: the exception's message captioned with the title. Anything that is
    // not a std::exception shows an empty message.
    void HandleException(std::exception_ptr error);

    // Whether windows that fade (FormLayout::fades) fade when shown and hidden.
    bool AnimateWindows() const { return animateWindows_; }
    void SetAnimateWindows(bool on) { animateWindows_ = on; }

    // Worker threads and the main thread. The contract, for every worker:
    //  - A worker never touches a window. It hands each result to the main thread with
    //    Post (in order per thread) and waits for the main thread only through Send, whose
    //    wait has a bound. It passes data (an address, a line), never asks the main thread
    //    for data it could be given up front.
    //  - Post works from the moment Initialize has run; work posted before the loop runs
    //    waits in the queue and runs when it starts.
    //  - Shutdown (after the loop, before any form is destroyed) first stops taking posts,
    //    then runs every closure already posted (the windows still exist), then asks every
    //    running TThread to stop and waits a bounded time for them. From then on Post and
    //    Send return false and run nothing: a worker that must not lose its result (a log
    //    record) keeps it on that answer (writes the file itself), anything else drops it.
    //  - So no posted closure ever runs after the windows are destroyed, and a worker cut
    //    off by the bound only ever sees false answers, never a freed window.
    //  - A worker that has been told to stop (Terminate) no longer waits for the main
    //    thread: Post on a full queue and Send return false at once, because the main
    //    thread may itself be waiting for that worker (TOwnedThread, Shutdown).
    //  - No lock is held while waiting: postLock_ only covers the hand-over to the queue,
    //    which never blocks.
    bool IsMainThread() const;
    // Any thread. Runs `work` on the main thread: at once when called there, otherwise
    // through a posted message. False when it will not run (before Initialize, or after
    // Shutdown has begun).
    bool Post(std::function<void()> work);
    // The same, and returns only after `work` has run: true. False when it did not run
    // within `milliseconds` or the program is ending; it then never runs.
    bool Send(std::function<void()> work, DWORD milliseconds = 5000);
    // Main thread, once the loop has ended: see the contract above. `workerBound` is the
    // longest wait for the workers, unless one has a later exit deadline of its own.
    void Shutdown(DWORD workerBound = 3000);
    bool ShuttingDown() const { return shuttingDown_; }
    // Tests only: takes posts again after a Shutdown.
    void Reopen();
    // Running TThread workers.
    size_t WorkerCount() const;

  private:
    friend class TTimer;
    friend class TThread;
    UINT_PTR StartTimer(TTimer* timer, UINT interval);
    void StopTimer(UINT_PTR id);
    void OnTimer(UINT_PTR id);
    void RunPosted(std::function<void()>* work);
    void AddWorker(TThread* thread);
    void RemoveWorker(TThread* thread);

    std::string title_;
    bool initialized_ = false;
    bool animateWindows_ = false;
    std::atomic<bool> terminated_ = false;
    std::atomic<bool> shuttingDown_ = false;
    DWORD mainThread_ = 0;
    HWND appWindow_ = nullptr;
    HWND postWindow_ = nullptr;
    std::map<UINT_PTR, TTimer*> timers_;
    UINT_PTR nextTimerId_ = 1;
    // Held while a post is handed to the queue, so that Shutdown sees every post either
    // queued or refused.
    std::mutex postLock_;
    mutable std::mutex workersLock_;
    std::set<TThread*> workers_;
};

Application& App();

} // namespace lv
