#pragma once
// A worker thread. The rules every worker follows are written where Application declares
// Post and Send; in short: it never touches a window, hands results to the main thread
// with Post, and lets Cancel close whatever it blocks on, so that Terminate ends it soon.
#include <windows.h>

#include <atomic>

namespace lv {

class TThread {
  public:
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    // An owned worker that is still running is stopped and waited for.
    virtual ~TThread();

    // Runs Execute on a new thread. A free-on-terminate worker deletes itself when Execute
    // returns (it must have been made with new), and nobody waits for it.
    void Start();
    // Any thread: sets Terminated and calls Cancel. Also done by Application::Shutdown.
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Owned workers only: waits until Execute has returned; true when it has.
    bool WaitFor(DWORD milliseconds);
    // Application::Shutdown waits for this worker until this moment (GetTickCount64) when
    // it is later than the shutdown's own bound; 0: the bound alone.
    ULONGLONG ExitDeadline() const { return exitDeadline_; }

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
    static DWORD WINAPI ThreadProc(void* self);

    const bool freeOnTerminate_;
    std::atomic<bool> terminated_ = false;
    std::atomic<ULONGLONG> exitDeadline_ = 0;
    HANDLE handle_ = nullptr;
};

} // namespace lv
