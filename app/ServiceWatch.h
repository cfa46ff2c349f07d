#pragma once
// Lumivale knows whether messages can arrive: at start-up, and whenever msgsvc.exe ends
// while Lumivale runs, a worker finds out whether a message sent to this machine would reach
// msgsvc.exe, and when it would not, says in the status area which address and port could
// not be used, why, and where the fix is described. Each time it also reads Windows
// Firewall's state and says when the firewall stops other computers' messages. A msgsvc.exe
// that ends is started again once; one that then cannot listen is reported once and left.
// Nothing is said when all is well, nor about what cannot be read.
#include "framework/Thread.h"
#include "hub/MainHub.h"
#include "messenger/Firewall.h"
#include "messenger/ServiceReport.h"
#include "messenger/msgsvc/ServiceConfig.h"

#include <windows.h>

namespace lv {

class TServiceWatch : public TThread {
  public:
    // `started`: the msgsvc.exe process Lumivale has just started (the watch owns the
    // handle), or nullptr when one was running already. Made on the main thread, after the
    // settings are read.
    TServiceWatch(MainHub& hub, HANDLE started);
    ~TServiceWatch() override;

    // How long a msgsvc.exe just started has to answer before it is reported: the report
    // must be in the status area within about 3 s of the start.
    static constexpr DWORD kAnswerWithinMs = 2300;
    // How often the watch looks whether msgsvc.exe still runs (its mutex; no network).
    static constexpr DWORD kLookEveryMs = 1000;
    // The firewall is read while msgsvc.exe starts; a firewall service that does not answer
    // in this time is taken as one that cannot be read.
    static constexpr DWORD kFirewallWithinMs = 1500;

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
    // The lines for `facts` with the firewall's verdict, into the status area; port 139 held
    // as usual is remembered as told.
    void Report(messenger::ServiceFacts& facts, const messenger::ServiceConfig& config,
                const messenger::firewall::Snapshot& firewall);

    MainHub& hub_;
    HANDLE started_;
    HANDLE stop_;
    bool port139Told_; // this thread's copy of Lumivale.ini's [Service] Port139Told
};

} // namespace lv
