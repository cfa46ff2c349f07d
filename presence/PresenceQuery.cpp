#include "presence/PresenceQuery.h"

#include "framework/Application.h"
#include "framework/Ipv4.h"
#include "framework/MessageBox.h"
#include "framework/Thread.h"
#include "presence/EchoPacket.h"
#include "presence/NameLookup.h"
#include "presence/ProbeRules.h"
#include "presence/ProbeState.h"

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
// A helper request waits for its answer until about the end of the answer window, and a
// little longer: the pauses between requests take more than their 20 ms.
constexpr DWORD kHelperSlack = 500;
// The worker's lines still queued when it has ended; they come before "查询完毕！".
constexpr DWORD kDrainWait = 2000;
constexpr int kReceiveBuffer = 1500;

const char kError[] = "出错！";

ProbeHooks& Hooks() {
    static ProbeHooks hooks;
    return hooks;
}

// The raw ICMP socket each side of the raw way opens (the controller to send, the receiver
// to receive).
SOCKET OpenProbeSocket() {
    const ProbeHooks& hooks = Hooks();
    if (hooks.openSocket)
        return hooks.openSocket();
    return WSASocketA(AF_INET, SOCK_RAW, IPPROTO_ICMP, nullptr, 0, WSA_FLAG_OVERLAPPED);
}

// The error of a socket that did not open; never 0, which means "opened".
int SocketError() {
    int error = WSAGetLastError();
    return error != 0 ? error : WSAEACCES;
}

// The address as a number, first field in the high byte.
uint32_t AddressOf(const Ipv4Bytes& address) {
    return static_cast<uint32_t>(address[0]) << 24 | static_cast<uint32_t>(address[1]) << 16 |
           static_cast<uint32_t>(address[2]) << 8 | address[3];
}

int SendEchoTo(SOCKET socket, uint32_t destination) {
    std::array<uint8_t, kEchoRequestSize> message = BuildEchoRequest(GetCurrentProcessId());
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(destination);
    return sendto(socket, reinterpret_cast<const char*>(message.data()),
                  static_cast<int>(message.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                  sizeof to);
}

// Receives the answers of one query on a raw ICMP socket of its own, bound to every address
// of the machine, and reports each answer as "<name> 在线". Frees itself.
class TEchoReceiver : public TThread {
  public:
    explicit TEchoReceiver(std::shared_ptr<ProbeState> state)
        : TThread(true), state_(std::move(state)) {}

  protected:
    void Execute() override {
        struct Finished {
            HANDLE event;
            ~Finished() { SetEvent(event); }
        } finished{state_->receiverDone};
        // The worker holds the network library for itself, so that it is released only
        // after this thread's socket is gone, however late the worker ends.
        WSADATA data;
        if (int error = WSAStartup(MAKEWORD(2, 2), &data); error != 0) {
            state_->receiveError = error;
            return;
        }
        ReceiveEchoReplies();
        WSACleanup();
    }

    // Program shutdown: the worker leaves its wait at once.
    void Cancel() override { state_->RequestStop(); }

  private:
    bool Stopping() const { return state_->stop || Terminated(); }

    void ReportError() { state_->ReportError(); }

    void ReceiveEchoReplies() {
        const ProbeHooks& hooks = Hooks();
        SOCKET s = OpenProbeSocket();
        if (s == INVALID_SOCKET) {
            state_->receiveError = SocketError();
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
                    const int error = WSAGetLastError();
                    // A datagram longer than the buffer (someone's large ping) is cut
                    // off and reported so; it is no answer of ours, and the next one is.
                    if (error == WSAEMSGSIZE)
                        continue;
                    failed = error != WSAEWOULDBLOCK;
                    break;
                }
                std::optional<Ipv4Bytes> source = AcceptEchoReply(
                    std::span<const uint8_t>(buffer.data(), static_cast<size_t>(got)), identifier,
                    localBytes);
                if (!source)
                    continue;
                // A raw socket cannot tell which request an answer is for.
                state_->ReportAnswer(AddressOf(*source), std::nullopt);
            }
        }
        WSACloseEvent(readable);
        if (failed && !Stopping())
            ReportError();
    }

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
    ProbeTarget target = ClassifyAddress(address);
    if (target.kind != ProbeTarget::Kind::Address)
        return std::nullopt;
    in_addr destination{};
    destination.s_addr = htonl(target.address);
    return destination;
}

int SendEchoRequest(SOCKET socket, std::string_view address) {
    std::optional<in_addr> destination = EchoDestination(address);
    if (!destination)
        return SOCKET_ERROR;
    return SendEchoTo(socket, ntohl(destination->s_addr));
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

    auto state = std::make_shared<ProbeState>(hub);
    const ProbeHooks hooks = Hooks();

    // Computer names take their time: they are looked up from the start, and each has
    // until its friend's turn to send.
    auto computerNames = [&hub] {
        std::vector<std::string> names;
        for (const Friend& f : hub.Friends().Entries())
            if (ClassifyAddress(f.address).kind == ProbeTarget::Kind::ComputerName)
                names.push_back(f.address);
        return names;
    };
    NameLookups lookups([resolve = hooks.resolveName](const std::string& name) {
        if (!resolve)
            return LookUpComputerName(name);
        std::optional<in_addr> address = resolve(name);
        return address ? std::optional<uint32_t>(ntohl(address->s_addr)) : std::nullopt;
    });
    lookups.Add(computerNames());

    WSADATA data;
    const bool networkStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    ProbeFacts facts;
    SOCKET probe = OpenProbeSocket();
    if (probe == INVALID_SOCKET)
        facts.rawSendError = SocketError();
    bool receiverStarted = false;
    bool helperStarted = false;
    auto startHelper = [&] {
        if (probe != INVALID_SOCKET) {
            closesocket(probe);
            probe = INVALID_SOCKET;
        }
        helperStarted = StartIcmpHelper(state, hooks.openHelper);
        if (!helperStarted)
            state->helperFailed = true;
    };
    if (ChooseProbeWay(facts) == ProbeWay::RawSocket) {
        try {
            auto worker = std::make_unique<TEchoReceiver>(state);
            worker->Start();
            // Running, it frees itself.
            worker.release();
            receiverStarted = true;
        } catch (...) {
            // No thread: nobody receives, and the query runs through its waits all the same.
        }
    } else {
        // Refused at once: the helper has the set-up wait to get ready.
        startHelper();
    }

    if (Delay(window, kSetUpWait)) {
        facts.rawReceiveError = state->receiveError;
        ProbeWay way = ChooseProbeWay(facts);
        if (way == ProbeWay::IcmpHelper && !helperStarted)
            startHelper();
        // The list as it stands when the sending begins: one request per entry, even if
        // the user edits the list meanwhile.
        std::vector<std::string> addresses;
        for (const Friend& f : hub.Friends().Entries())
            addresses.push_back(f.address);
        lookups.Add(computerNames());
        bool ending = false;
        for (size_t i = 0; i < addresses.size(); ++i) {
            const std::string& address = addresses[i];
            ProbeTarget target = ClassifyAddress(address);
            std::optional<uint32_t> destination;
            if (target.kind == ProbeTarget::Kind::Address)
                destination = target.address;
            else if (target.kind == ProbeTarget::Kind::ComputerName)
                destination = lookups.Find(address);
            if (destination && MayProbe(*destination)) {
                const size_t number = state->book.Sent(*destination, address, target.kind);
                if (way == ProbeWay::RawSocket && probe != INVALID_SOCKET) {
                    SendEchoTo(probe, *destination);
                } else if (way == ProbeWay::IcmpHelper) {
                    const DWORD until =
                        kAnswerWindow + kHelperSlack +
                        static_cast<DWORD>(addresses.size() - 1 - i) * kRequestSpacing;
                    state->QueueHelperRequest({number, *destination, until});
                }
            }
            // The pause keeps the windows alive too.
            App().WaitUntil([] { return false; }, kRequestSpacing);
            if (App().Terminated()) {
                ending = true;
                break;
            }
        }
        // A name not found by its turn is not probed.
        lookups.Stop();
        if (!ending)
            Delay(window, kAnswerWindow);
    }
    lookups.Stop();

    state->RequestStop();
    // Every worker's last lines may still be queued: they belong before the closing line.
    bool quiet = true;
    if (receiverStarted)
        quiet = WaitForSingleObject(state->receiverDone, kStopWait) == WAIT_OBJECT_0;
    if (helperStarted)
        quiet = WaitForSingleObject(state->helperQuiet, kStopWait) == WAIT_OBJECT_0 && quiet;
    if (quiet)
        App().WaitUntil([&state] { return state->arrived >= state->posted; }, kDrainWait);
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
    if (helperStarted || state->helperFailed)
        facts.helper =
            HelperOutcome{!state->helperFailed, state->helperRefused, state->helperAccepted};
    if (ChooseProbeWay(facts) == ProbeWay::Neither)
        ShowMessageBox(hub.MainWindow(), kError, App().Title(), MB_OK);
}

} // namespace lv::presence
