#pragma once
// Lumivale knows whether messages can arrive: at start-up, and whenever msgsvc.exe ends
// while Lumivale runs, a worker finds out whether a message sent to this machine would reach
// msgsvc.exe, and when it would not, says in the status area which address and port could
// not be used, why, and where the fix is described. A msgsvc.exe that ends is started again
// once; one that then cannot listen is reported once and left. Nothing is said when all is
// well.
#include "framework/Thread.h"
#include "hub/MainHub.h"

#include <windows.h>

namespace lv {

class TServiceWatch : public TThread {
  public:
    // `started`: the msgsvc.exe process Lumivale has just started (the watch owns the
    // handle), or nullptr when one was running already.
    TServiceWatch(MainHub& hub, HANDLE started);
    ~TServiceWatch() override;

    // How long a msgsvc.exe just started has to answer before it is reported: the report
    // must be in the status area within about 3 s of the start.
    static constexpr DWORD kAnswerWithinMs = 2300;
    // How often the watch looks whether msgsvc.exe still runs (its mutex; no network).
    static constexpr DWORD kLookEveryMs = 1000;

  protected:
    void Execute() override;
    void Cancel() override { SetEvent(stop_); }

  private:
    enum class Outcome { kRunning, kEnded, kStopped };
    // Waits for msgsvc.exe (`process`, when we started it) to answer, to end, or for the
    // time to run out; reports what is wrong.
    Outcome Check(HANDLE process);
    // False once the program is ending.
    bool Sleep(DWORD milliseconds);

    MainHub& hub_;
    HANDLE started_;
    HANDLE stop_;
};

} // namespace lv
