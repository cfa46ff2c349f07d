#pragma once
// A worker thread. The rules every worker follows are written where Application declares
// Post and Send; in short: it never touches a window, hands results to the main thread
// with Post, and lets Cancel close whatever it blocks on, so that Terminate ends it soon.
#include <windows.h>

#include <atomic>
#include <memory>
#include <utility>

namespace lv {

template <class Worker> class TOwnedThread;

class TThread {
  public:
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    // Stops nothing: by the time a base destructor runs the derived Cancel is gone, so an
    // owned worker is stopped by the TOwnedThread that holds it, before it is destroyed.
    virtual ~TThread();

    // Runs Execute on a new thread. A free-on-terminate worker deletes itself when Execute
    // returns (it must have been made with new), and nobody waits for it. An owned worker
    // starts only while a TOwnedThread holds it; otherwise this throws lv::Exception.
    void Start();
    // Any thread: sets Terminated and calls Cancel. Also done by Application::Shutdown.
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Owned workers only: waits until Execute has returned; true when it has.
    bool WaitFor(DWORD milliseconds);
    // Application::Shutdown waits for this worker until this moment (GetTickCount64) when
    // it is later than the shutdown's own bound; 0: the bound alone.
    ULONGLONG ExitDeadline() const { return exitDeadline_; }

    // True on a worker's own thread once it has been told to stop: a wait for the main
    // thread (Post on a full queue, Send) then gives up, since the main thread may be the
    // one waiting for this worker to end.
    static bool CurrentTerminated();

  protected:
    explicit TThread(bool freeOnTerminate) : freeOnTerminate_(freeOnTerminate) {}
    virtual void Execute() = 0;
    // Called by Terminate on the terminating thread: close the socket or signal the event
    // that Execute waits on. Must be safe to call while Execute runs, and more than once.
    virtual void Cancel() {}
    // For a worker whose result must not be lost at the end of the program (an accepted
    // message's record), the moment by which it is sure to have ended.
    void SetExitDeadline(ULONGLONG tick) { exitDeadline_ = tick; }

  private:
    template <class Worker> friend class TOwnedThread;
    static DWORD WINAPI ThreadProc(void* self);
    // Marks the worker as held by a TOwnedThread; throws for a free-on-terminate one, which
    // would delete itself under its holder.
    static void Hold(TThread& worker);
    // Terminate, then wait until Execute has returned. Called while the derived object is
    // still whole, so that its own Cancel runs.
    void Stop();

    const bool freeOnTerminate_;
    bool held_ = false;
    std::atomic<bool> terminated_ = false;
    std::atomic<ULONGLONG> exitDeadline_ = 0;
    HANDLE handle_ = nullptr;
};

// Owns a worker that is not free-on-terminate and stops it before destroying it: Terminate
// (the worker's own Cancel closes what it blocks on), then a wait until Execute returns.
template <class Worker> class TOwnedThread {
  public:
    template <class... Args>
    explicit TOwnedThread(Args&&... args)
        : worker_(std::make_unique<Worker>(std::forward<Args>(args)...)) {
        TThread::Hold(*worker_);
    }
    TOwnedThread(const TOwnedThread&) = delete;
    TOwnedThread& operator=(const TOwnedThread&) = delete;
    ~TOwnedThread() { static_cast<TThread&>(*worker_).Stop(); }

    Worker& operator*() const { return *worker_; }
    Worker* operator->() const { return worker_.get(); }

  private:
    std::unique_ptr<Worker> worker_;
};

} // namespace lv
