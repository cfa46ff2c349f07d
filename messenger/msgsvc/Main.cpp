// msgsvc.exe: stands in for the Windows Messenger service. Listens for Messenger messages
// on the address and port of msgsvc.ini and shows each one in a pop-up of its own.
//
// Exit codes: 0 normal end, 1 unusable msgsvc.ini, 2 cannot listen on the port nor on the
// fallback port (or cannot hold the single-instance mutex), 3 already running for this address and
// port. The reason goes to the error output and to the log file if one is set; no message box,
// because the service is usually started unattended. msgsvc.exe /stop [PATH] (StopService.h): 0
// when none is left running, 4 when one could not be ended. msgsvc.exe /firewall allow|remove|check
// PATH (FirewallCommand.h): 0, 5, 6 or 7. msgsvc.exe /exit [PATH] (LumivaleExit.h): 0 when no
// Lumivale.exe of PATH ran, 5 when those that ran have exited when asked, 6 when one had to be
// ended outright, 4 when one could not be ended.
#include "framework/Exception.h"
#include "framework/Files.h"
#include "framework/Gbk.h"
#include "framework/MessageWindow.h"
#include "messenger/msgsvc/FirewallCommand.h"
#include "messenger/msgsvc/Listener.h"
#include "messenger/msgsvc/LogQueue.h"
#include "messenger/msgsvc/Popup.h"
#include "messenger/msgsvc/PopupSlots.h"
#include "messenger/msgsvc/PopupText.h"
#include "messenger/msgsvc/ServiceConfig.h"
#include "messenger/msgsvc/ServiceFiles.h"
#include "messenger/msgsvc/SingleInstance.h"
#include "messenger/msgsvc/StopService.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

namespace {

using namespace lv::messenger;
using lv::FormatIpv4;

constexpr UINT kShowPopup = WM_APP + 1; // lParam: heap PopupRequest, owned by the receiver
// Refusals come as fast as a peer can send; the log gets the first of every hundred, so
// it grows with the messages shown, not with an attack.
constexpr long kRefusalsPerLogLine = 100;
// Log lines waiting for the disk. A burst logs one line per message; past this many
// waiting lines are dropped (and counted) rather than holding up the network thread.
constexpr size_t kLogQueueLines = 4096;

// A pop-up on its way to the UI thread, and whose slot it holds.
struct PopupRequest {
    std::string text;
    uint32_t peer;
};

std::string Now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return PopupTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

class Service {
  public:
    Service(HINSTANCE instance, ServiceConfig config, std::wstring logPath)
        : instance_(instance), config_(std::move(config)),
          popups_(config_.maxPopups, config_.maxPopupsPerPeer) {
        if (!logPath.empty())
            log_ = std::make_unique<LogQueue>(
                kLogQueueLines, [path = std::move(logPath)](const std::vector<std::string>& lines) {
                    AppendLines(path, lines);
                });
    }

    const ServiceConfig& Config() const { return config_; }

    // Any thread; never waits for the disk.
    void Log(const std::string& line) {
        if (log_)
            log_->Push(Now() + " " + line);
    }

    // Both the error output (when someone started us from a console) and the log.
    void Report(const std::string& line) {
        HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
        if (err && err != INVALID_HANDLE_VALUE) {
            std::string text = "msgsvc: " + line + "\n";
            DWORD written = 0;
            WriteFile(err, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        }
        Log(line);
    }

    // The window the network thread posts pop-ups to. Throws lv::Exception.
    void CreateCourier() {
        RegisterPopupClass(instance_);
        courier_ = std::make_unique<lv::MessageWindow>();
        courier_->On(kShowPopup, [this](WPARAM, LPARAM request) {
            Show(std::unique_ptr<PopupRequest>(reinterpret_cast<PopupRequest*>(request)));
            return LRESULT{0};
        });
        courierHandle_ = courier_->Handle();
    }

    // Network thread. False → the sender gets ERRnoroom.
    bool Deliver(uint32_t peer, const Message& message) {
        switch (popups_.TryTake(peer)) {
        case PeerTally::Take::kTaken:
            break;
        case PeerTally::Take::kPeerFull:
            if (peerRefused_.Note(peer))
                Log("pop-up limit per peer reached, message from " + LogName(message.sender) +
                    " at " + FormatIpv4(peer) + " refused (" +
                    std::to_string(peerRefused_.Total()) + " so far)");
            return false;
        case PeerTally::Take::kFull: {
            long n = ++refused_;
            if (n % kRefusalsPerLogLine == 1)
                Log("pop-up limit reached, message from " + LogName(message.sender) + " refused (" +
                    std::to_string(n) + " so far)");
            return false;
        }
        }
        auto request =
            std::make_unique<PopupRequest>(PopupRequest{PopupText(message, Now()), peer});
        if (!PostMessageW(courierHandle_, kShowPopup, 0, reinterpret_cast<LPARAM>(request.get()))) {
            popups_.Releaser(peer)();
            return false;
        }
        request.release();
        long n = ++delivered_;
        Log("delivered " + std::to_string(n) + " from " + LogName(message.sender) + " at " +
            FormatIpv4(peer) + " to " + LogName(message.recipient) + ", " +
            std::to_string(message.text.size()) + " bytes");
        return true;
    }

  private:
    // UI thread.
    void Show(std::unique_ptr<PopupRequest> request) {
        // Runs once however often it is called: the slot comes back whether the window
        // closes, was never made, or an error cut the showing short.
        std::function<void()> release = popups_.Releaser(request->peer);
        try {
            if (!ShowPopup(instance_, request->text, release)) {
                release();
                Log("a pop-up could not be created");
            }
        } catch (...) {
            release();
            Log("a pop-up could not be shown");
        }
    }

    HINSTANCE instance_;
    ServiceConfig config_;
    // Pop-ups open or on their way to the UI thread.
    PopupSlots popups_;
    std::unique_ptr<LogQueue> log_;
    std::unique_ptr<lv::MessageWindow> courier_;
    HWND courierHandle_ = nullptr; // set before the network thread starts
    std::atomic<long> delivered_{0};
    std::atomic<long> refused_{0};
    RefusalCount peerRefused_; // network thread only
};

std::wstring LogPath(const std::string& log) {
    if (log.empty())
        return {};
    std::wstring path = lv::ToWide(log);
    bool absolute = (path.size() > 1 && path[1] == L':') || path[0] == L'\\' || path[0] == L'/';
    return absolute ? path : lv::ExecutableDirectory() + path;
}

int Run(Service& service) {
    const ServiceConfig& config = service.Config();
    if (!config.error.empty()) {
        service.Report("msgsvc.ini: " + config.error);
        return 1;
    }

    std::string where = config.address + ":" + std::to_string(config.port);
    switch (ClaimServiceInstance(config)) {
    case InstanceClaim::kFirst:
        break;
    case InstanceClaim::kAlreadyRunning:
        service.Report("already running for " + where);
        return 3;
    case InstanceClaim::kFailed:
        service.Report("cannot hold the single-instance mutex for " + where + " (error " +
                       std::to_string(GetLastError()) + ")");
        return 2;
    }

    try {
        service.CreateCourier();
    } catch (const lv::Exception& e) {
        service.Report(std::string("no message window: ") + e.what());
        return 2;
    }

    auto deliver = [&service](uint32_t peer, const Message& m) { return service.Deliver(peer, m); };
    auto log = [&service](const std::string& line) { service.Log(line); };
    Listener listener(config, deliver, log);
    // Before "listening": whoever waits for that line finds these already written.
    for (const std::string& line : config.access.Describe())
        service.Report(line);
    std::string error;
    bool listening = listener.Start(error);
    if (listening)
        service.Log("listening on " + where);
    // The fallback is listened on even when the port itself could be had: on Windows NetBIOS
    // may still take what arrives on 139 at the machine's own addresses, which no bind here
    // can see, and senders try the fallback when 139 does not answer as a messenger.
    std::unique_ptr<Listener> fallback;
    if (config.fallbackPort != 0) {
        ServiceConfig second = config;
        second.port = config.fallbackPort;
        fallback = std::make_unique<Listener>(second, deliver, log);
        std::string fallbackError;
        std::string there = config.address + ":" + std::to_string(second.port);
        if (fallback->Start(fallbackError)) {
            service.Log("listening on " + there + " (fallback)");
        } else {
            fallback.reset();
            if (listening)
                service.Log(fallbackError);
            else
                error += "; " + fallbackError;
        }
    }
    if (!listening) {
        service.Report(error + (fallback ? "; receiving on the fallback port only" : ""));
        if (!fallback)
            return 2;
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    listener.Stop();
    if (fallback)
        fallback->Stop();
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (auto program = StopRequest(__argc, __wargv, lv::ExecutablePath()))
        return StopServicesRunningFrom(*program) ? 0 : 4;
    if (IsFirewallRequest(__argc, __wargv)) {
        std::wstring logPath = LogPath(ReadServiceConfig(ReadServiceIni()).log);
        return RunFirewallRequest(__argc, __wargv, [&logPath](const std::string& line) {
            if (!logPath.empty())
                AppendLines(logPath, {Now() + " " + line});
        });
    }
    if (auto program = LumivaleExitRequest(__argc, __wargv, lv::ExecutableDirectory()))
        return LumivaleExitCode(EndLumivaleRunningFrom(*program, kLumivaleExitBoundMs));
    ServiceConfig config = ReadServiceConfig(ReadServiceIni());
    std::wstring logPath = LogPath(config.log);
    EnableCaptureNotices(config.notify);
    // The service's log thread writes out every queued line when it goes, at the end of
    // this block, so a reason to stop reaches the file too.
    Service service(instance, std::move(config), std::move(logPath));
    return Run(service);
}
