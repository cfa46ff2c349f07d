#include "presence/PresenceQuery.h"

#include "framework/Application.h"
#include "framework/Ipv4.h"
#include "framework/MessageBox.h"
#include "framework/Thread.h"
#include "presence/EchoPacket.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace lv::presence {
namespace {

constexpr DWORD kSetUpWait = 2000;
constexpr DWORD kAnswerWindow = 6000;
constexpr DWORD kRequestSpacing = 20;
constexpr DWORD kStopWait = 500;
// The worker's lines still queued when it has ended; they come before "查询完毕！".
constexpr DWORD kDrainWait = 2000;
constexpr int kReceiveBuffer = 1500;

const char kError[] = "出错！";

ProbeHooks& Hooks() {
    static ProbeHooks hooks;
    return hooks;
}

SOCKET OpenRawIcmpSocket() {
    return WSASocketA(AF_INET, SOCK_RAW, IPPROTO_ICMP, nullptr, 0, WSA_FLAG_OVERLAPPED);
}

// Shared by the controller and its worker; the worker may outlive the query (a local
// host name lookup that hangs), so neither owns it alone.
struct ProbeState {
    ProbeState()
        : stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          finishedEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~ProbeState() {
        CloseHandle(stopEvent);
        CloseHandle(finishedEvent);
    }
    ProbeState(const ProbeState&) = delete;
    ProbeState& operator=(const ProbeState&) = delete;

    void RequestStop() {
        stop = true;
        SetEvent(stopEvent);
    }

    std::atomic<bool> stop = false;
    // Set by the worker when it could not open its socket; the controller tells the user
    // once the query is over.
    std::atomic<bool> socketFailed = false;
    // Lines handed to the main thread, and (main thread) lines that arrived there.
    std::atomic<int> posted = 0;
    int arrived = 0;
    // Main thread: the query is over; a line of a worker that outlived it is dropped.
    bool over = false;
    HANDLE stopEvent;
    HANDLE finishedEvent;
};

// Receives the answers of one query on a raw ICMP socket of its own, bound to every address
// of the machine, and reports each answer as "<name> 在线". Frees itself.
class TEchoReceiver : public TThread {
  public:
    TEchoReceiver(MainHub& hub, std::shared_ptr<ProbeState> state)
        : TThread(true), hub_(hub), state_(std::move(state)) {}

  protected:
    void Execute() override {
        struct Finished {
            HANDLE event;
            ~Finished() { SetEvent(event); }
        } finished{state_->finishedEvent};
        // The worker holds the network library for itself, so that it is released only
        // after this thread's socket is gone, however late the worker ends.
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
            state_->socketFailed = true;
            return;
        }
        ReceiveEchoReplies();
        WSACleanup();
    }

    // Program shutdown: the worker leaves its wait at once.
    void Cancel() override { state_->RequestStop(); }

  private:
    bool Stopping() const { return state_->stop || Terminated(); }

    // Every line reaches the status area on the main thread, in this thread's order.
    void Report(std::function<void()> line) {
        ++state_->posted;
        std::shared_ptr<ProbeState> state = state_;
        bool queued = App().Post([state, line = std::move(line)] {
            ++state->arrived;
            if (!state->over)
                line();
        });
        if (!queued)
            --state_->posted;
    }

    void ReportError() {
        MainHub& hub = hub_;
        Report([&hub] { hub.AddStatusLine(kError); });
    }

    void ReceiveEchoReplies() {
        const ProbeHooks& hooks = Hooks();
        SOCKET s = hooks.openSocket ? hooks.openSocket() : OpenRawIcmpSocket();
        if (s == INVALID_SOCKET) {
            state_->socketFailed = true;
            return;
        }
        struct Closer {
            SOCKET s;
            ~Closer() { closesocket(s); }
        } closer{s};

        // An answer counts whichever local address it arrives on: the host name's first
        // address may be a VPN's, a virtual or the loopback adapter's, and the friends'
        // answers arrive on another one.
        std::optional<in_addr> local =
            hooks.localAddress ? hooks.localAddress() : std::optional<in_addr>(in_addr{});
        if (Stopping())
            return;
        if (!local) {
            ReportError();
            return;
        }
        sockaddr_in bound{};
        bound.sin_family = AF_INET;
        bound.sin_port = htons(kProbePort);
        bound.sin_addr = *local;
        if (bind(s, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0) {
            ReportError();
            return;
        }
        Ipv4Bytes localBytes;
        std::memcpy(localBytes.data(), &bound.sin_addr, 4);
        const uint16_t identifier = EchoIdentifier(GetCurrentProcessId());

        // The receive never blocks: the worker waits for a datagram or the stop, whichever
        // comes first, so a stop needs neither a killed thread nor a socket closed under it.
        WSAEVENT readable = WSACreateEvent();
        if (readable == WSA_INVALID_EVENT || WSAEventSelect(s, readable, FD_READ) != 0) {
            if (readable != WSA_INVALID_EVENT)
                WSACloseEvent(readable);
            ReportError();
            return;
        }
        WSAEVENT events[2] = {state_->stopEvent, readable};
        std::vector<uint8_t> buffer(kReceiveBuffer);
        bool failed = false;
        while (!Stopping() && !failed) {
            DWORD woke = WSAWaitForMultipleEvents(2, events, FALSE, WSA_INFINITE, FALSE);
            if (woke != WSA_WAIT_EVENT_0 + 1)
                break;
            WSAResetEvent(readable);
            while (!Stopping()) {
                int got = recv(s, reinterpret_cast<char*>(buffer.data()), kReceiveBuffer, 0);
                if (got == SOCKET_ERROR) {
                    failed = WSAGetLastError() != WSAEWOULDBLOCK;
                    break;
                }
                std::optional<Ipv4Bytes> source = AcceptEchoReply(
                    std::span<const uint8_t>(buffer.data(), static_cast<size_t>(got)), identifier,
                    localBytes);
                if (!source)
                    continue;
                MainHub& hub = hub_;
                Report([&hub, address = DottedQuad(*source)] {
                    hub.AddFriendStatusLine(address, " 在线");
                });
            }
        }
        WSACloseEvent(readable);
        if (failed && !Stopping())
            ReportError();
    }

    MainHub& hub_;
    std::shared_ptr<ProbeState> state_;
};

// Waits `milliseconds` on the delay timer while the windows stay alive; false when the
// program is ending.
bool Delay(const QueryWindow& window, DWORD milliseconds) {
    // The flag is this wait's own; the timer fires once for it and keeps no handler after
    // it, so that nothing outside the query can see or set it.
    TTimer& timer = window.tmDelay;
    bool delayElapsed = false;
    timer.OnTimer = [&timer, &delayElapsed] {
        timer.SetEnabled(false);
        delayElapsed = true;
    };
    timer.SetInterval(milliseconds);
    timer.SetEnabled(true);
    bool elapsed = App().WaitUntil([&delayElapsed] { return delayElapsed; });
    timer.SetEnabled(false);
    timer.OnTimer = nullptr;
    return elapsed;
}

} // namespace

void SetProbeHooks(ProbeHooks hooks) {
    Hooks() = std::move(hooks);
}

std::optional<in_addr> EchoDestination(std::string_view address) {
    std::optional<uint32_t> value = ParseIpv4(address);
    // The all-ones address would be a broadcast.
    if (!value || *value == 0xFFFFFFFFu)
        return std::nullopt;
    in_addr destination{};
    destination.s_addr = htonl(*value);
    return destination;
}

int SendEchoRequest(SOCKET socket, std::string_view address) {
    std::optional<in_addr> destination = EchoDestination(address);
    if (!destination)
        return SOCKET_ERROR;
    std::array<uint8_t, kEchoRequestSize> message = BuildEchoRequest(GetCurrentProcessId());
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = *destination;
    return sendto(socket, reinterpret_cast<const char*>(message.data()),
                  static_cast<int>(message.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                  sizeof to);
}

std::optional<in_addr> FirstLocalAddress() {
    char name[250] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return std::nullopt;
    hostent* host = gethostbyname(name);
    if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list ||
        !host->h_addr_list[0])
        return std::nullopt;
    in_addr address{};
    std::memcpy(&address, host->h_addr_list[0], 4);
    return address;
}

void RunQuery(const QueryWindow& window) {
    static bool running = false;
    // The three commands are off while a query runs; a command that reaches the handler
    // some other way (a posted message) must not start a second query inside the first.
    if (running)
        return;
    running = true;
    struct Running {
        ~Running() { running = false; }
    } runningUntilReturn;

    MainHub& hub = window.hub;
    hub.AddStatusLine("正在查询，请稍后..");
    window.enableCommands(false);

    auto state = std::make_shared<ProbeState>();
    WSADATA data;
    const bool networkStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    SOCKET probe = OpenRawIcmpSocket();
    bool workerStarted = true;
    try {
        auto worker = std::make_unique<TEchoReceiver>(hub, state);
        worker->Start();
        // Running, it frees itself.
        worker.release();
    } catch (...) {
        // No thread: nobody receives, and the query runs through its waits all the same.
        workerStarted = false;
    }

    if (Delay(window, kSetUpWait)) {
        // The list as it stands when the sending begins: one request per entry, even if
        // the user edits the list meanwhile.
        std::vector<std::string> addresses;
        for (const Friend& f : hub.Friends().Entries())
            addresses.push_back(f.address);
        bool ending = false;
        for (const std::string& address : addresses) {
            if (probe != INVALID_SOCKET)
                SendEchoRequest(probe, address);
            // The pause keeps the windows alive too.
            App().WaitUntil([] { return false; }, kRequestSpacing);
            if (App().Terminated()) {
                ending = true;
                break;
            }
        }
        if (!ending)
            Delay(window, kAnswerWindow);
    }

    state->RequestStop();
    if (workerStarted && WaitForSingleObject(state->finishedEvent, kStopWait) == WAIT_OBJECT_0) {
        // Its last lines may still be queued: they belong before the closing line.
        App().WaitUntil([&state] { return state->arrived >= state->posted; }, kDrainWait);
    }
    // A worker still setting up (a host name lookup that hangs) ends on its own later; it
    // releases its own hold on the network library, and its lines are dropped.
    state->over = true;
    if (probe != INVALID_SOCKET)
        closesocket(probe);
    if (networkStarted)
        WSACleanup();

    window.enableCommands(true);
    if (App().Terminated())
        return;
    hub.AddStatusLine("查询完毕！");
    if (state->socketFailed)
        ShowMessageBox(hub.MainWindow(), kError, App().Title(), MB_OK);
}

} // namespace lv::presence
