#include "app/ServiceWatch.h"

#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Files.h"
#include "framework/Gbk.h"
#include "messenger/FirewallPolicy.h"
#include "messenger/ServiceCheck.h"
#include "messenger/ServiceLauncher.h"
#include "messenger/Settings.h"
#include "messenger/msgsvc/ServiceFiles.h"
#include "messenger/msgsvc/SingleInstance.h"
#include "settings/SettingsStore.h"

namespace lv {

using namespace lv::messenger;

namespace {

// Between two looks at a msgsvc.exe that is starting: a look at the machine's own
// addresses costs a few milliseconds.
constexpr DWORD kProbeEveryMs = 150;

// The msgsvc.exe Lumivale starts, by its long path: rules name programs so.
std::wstring MessengerProgram() {
    std::wstring path = ExecutableDirectory() + L"msgsvc.exe";
    std::wstring longer(32768, L'\0');
    DWORD n = GetLongPathNameW(path.c_str(), longer.data(), static_cast<DWORD>(longer.size()));
    return n > 0 && n < longer.size() ? longer.substr(0, n) : path;
}

FirewallFacts FirewallFactsFor(const ServiceFacts& facts, const ServiceConfig& config,
                               const firewall::Snapshot& snapshot) {
    FirewallFacts f;
    // The rule IT is to add opens what msgsvc.ini sets; the verdict counts the ports
    // msgsvc.exe receives on (peers try both).
    if (config.fallbackPort != 0)
        f.ports.push_back(config.fallbackPort);
    f.ports.push_back(config.port);
    std::vector<uint16_t> receiving = f.ports;
    if (!facts.port.reached && facts.fallback.port != 0 && facts.fallback.reached)
        receiving = {facts.fallback.port};
    std::wstring program = MessengerProgram();
    f.verdict = firewall::Judge(snapshot, program, receiving);
    f.program = ToGbk(program);
    f.otherPath = ToGbk(f.verdict.otherPath);
    return f;
}

} // namespace

TServiceWatch::TServiceWatch(MainHub& hub, HANDLE started)
    : TThread(false), hub_(hub), started_(started),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      port139Told_(hub.CurrentSettings().Port139Told) {}

TServiceWatch::~TServiceWatch() {
    if (started_)
        CloseHandle(started_);
    CloseHandle(stop_);
}

bool TServiceWatch::Sleep(DWORD milliseconds) {
    return WaitForSingleObject(stop_, milliseconds) == WAIT_TIMEOUT && !Terminated();
}

TServiceWatch::Outcome TServiceWatch::Check(HANDLE process) {
    std::string ini = ReadServiceIni();
    ServiceConfig config = ReadServiceConfig(ini);
    ServiceFacts facts;
    if (!config.error.empty()) {
        // The only thing msgsvc.ini can get wrong: msgsvc.exe will not start with it.
        facts.badAddress = ReadMessengerSettings(ini).address;
        Report(facts, config, {});
        return Outcome::kEnded;
    }
    std::vector<uint32_t> addresses = ArrivalAddresses(config);
    uint32_t configured = ParseIpv4(config.address).value_or(0);
    ULONGLONG end = GetTickCount64() + kAnswerWithinMs;
    // While msgsvc.exe starts; only the report needs it.
    const firewall::Snapshot firewall = ReadFirewall(kFirewallWithinMs);
    while (true) {
        bool ended = process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        facts.port = ProbePort(addresses, configured, config.port, false);
        if (facts.port.reached) {
            Report(facts, config, firewall);
            return Outcome::kRunning;
        }
        facts.fallback = config.fallbackPort
                             ? ProbePort(addresses, configured, config.fallbackPort, false)
                             : PortFacts{};
        // msgsvc.exe takes the fallback only after it has tried the port: once the fallback
        // answers, the port's answer is final.
        bool fallbackAnswers = facts.fallback.port != 0 && facts.fallback.reached;
        if (ended || fallbackAnswers || GetTickCount64() >= end) {
            // Our own bind says why, now that msgsvc.exe no longer tries these ports; while
            // it may still be starting, a bind of ours could take the port from under it.
            if (ended || fallbackAnswers) {
                facts.port = ProbePort(addresses, configured, config.port, true);
                if (!fallbackAnswers && facts.fallback.port != 0)
                    facts.fallback = ProbePort(addresses, configured, config.fallbackPort, true);
            }
            // A service that could not listen at all failed on the address it was given.
            if (ended) {
                facts.port.address = config.address;
                facts.fallback.address = config.address;
            }
            Report(facts, config, firewall);
            return ended ? Outcome::kEnded : Outcome::kRunning;
        }
        if (!Sleep(kProbeEveryMs))
            return Outcome::kStopped;
    }
}

void TServiceWatch::Report(ServiceFacts& facts, const ServiceConfig& config,
                           const firewall::Snapshot& firewall) {
    if (facts.badAddress.empty())
        facts.firewall = FirewallFactsFor(facts, config, firewall);
    facts.port139Told = port139Told_;
    for (const std::string& line : ServiceProblemLines(facts))
        hub_.AddStatusLine(line);
    if (!Port139HeldAsUsual(facts) || port139Told_)
        return;
    port139Told_ = true;
    MainHub& hub = hub_;
    App().Post([&hub] {
        Settings settings = hub.CurrentSettings();
        settings.Port139Told = true;
        hub.ApplySettings(settings);
        try {
            SettingsStore().Save(settings, kServiceGroup);
        } catch (const Exception&) {
            // Not remembered: said once more at the next start.
        }
    });
}

void TServiceWatch::Execute() {
    Outcome outcome = Check(started_);
    if (outcome != Outcome::kRunning)
        return;
    ServiceConfig config = ReadServiceConfig(ReadServiceIni());
    while (Sleep(kLookEveryMs)) {
        if (ServiceInstanceRunning(config))
            continue;
        // Ended while we run (killed, crashed, stopped by an update): started again once.
        HANDLE process = StartMessengerServiceIfNeeded();
        outcome = Check(process);
        if (process)
            CloseHandle(process);
        if (outcome != Outcome::kRunning)
            return;
    }
}

} // namespace lv
