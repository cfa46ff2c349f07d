#include "messenger/msgsvc/Listener.h"

#include "messenger/Winsock.h"
#include "messenger/msgsvc/PeerTally.h"

// Enough room in an fd_set for every session plus the listening socket (the default is 64).
#define FD_SETSIZE 1024
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <list>
#include <memory>

namespace lv::messenger {

namespace {

using Clock = std::chrono::steady_clock;

// Replies are a few dozen bytes each; a peer that sends requests without ever reading the
// answers is cut off once this much waits for it.
constexpr size_t kMaxPendingReply = 64 * 1024;
// Read per call: one frame header and a good part of the largest text block.
constexpr int kReadChunk = 8192;
// Per pass of the loop, so that a flood of connections cannot starve the open sessions.
constexpr int kAcceptsPerPass = 64;

struct Session {
    SOCKET socket;
    uint32_t peer;
    Receiver receiver;
    std::string out;
    Clock::time_point opened;
    Clock::time_point lastActive;
    bool closing = false; // close once `out` is sent

    Session(SOCKET s, uint32_t from, const Listener::Deliver& deliver, Clock::time_point now)
        : socket(s), peer(from),
          receiver([&deliver, from](const Message& m) { return deliver(from, m); }), opened(now),
          lastActive(now) {}
    ~Session() { closesocket(socket); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

void SetNonBlocking(SOCKET s) {
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}

// Sends what it can without waiting; false when the connection is broken.
bool Flush(Session& session) {
    while (!session.out.empty()) {
        int n = send(session.socket, session.out.data(), static_cast<int>(session.out.size()), 0);
        if (n > 0) {
            session.out.erase(0, static_cast<size_t>(n));
            continue;
        }
        return n < 0 && WSAGetLastError() == WSAEWOULDBLOCK;
    }
    return true;
}

} // namespace

Listener::Listener(ServiceConfig config, Deliver deliver, Log log)
    : config_(std::move(config)), deliver_(std::move(deliver)), log_(std::move(log)) {}

Listener::~Listener() {
    Stop();
}

bool Listener::Start(std::string& error) {
    if (!WinsockReady()) {
        error = "Winsock cannot start";
        return false;
    }
    auto address = ParseIpv4(config_.address);
    if (!address) {
        error = "bad address " + config_.address;
        return false;
    }
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = "no socket: " + std::to_string(WSAGetLastError());
        return false;
    }
    // Nobody else may bind the port while we hold it: with SO_REUSEADDR (or none) another
    // program could bind it, or a more specific address on it, and take the messages. Wine
    // still lets a restart bind over our own TIME_WAIT entries with it.
    BOOL on = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(config_.port);
    sin.sin_addr.s_addr = htonl(*address);
    if (bind(s, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0 || listen(s, SOMAXCONN) != 0) {
        error = "cannot listen on " + config_.address + ":" + std::to_string(config_.port) +
                " (error " + std::to_string(WSAGetLastError()) + ")";
        closesocket(s);
        return false;
    }
    SetNonBlocking(s);
    listener_ = s;
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void Listener::Stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ != ~uintptr_t{0}) {
        closesocket(static_cast<SOCKET>(listener_));
        listener_ = ~uintptr_t{0};
    }
}

void Listener::Run() {
    const SOCKET listener = static_cast<SOCKET>(listener_);
    const auto idle = std::chrono::seconds(config_.idleSeconds);
    const auto lifetime = std::chrono::seconds(config_.sessionSeconds);
    std::list<std::unique_ptr<Session>> sessions;
    PeerTally perPeer(config_.maxSessions, config_.maxSessionsPerPeer);
    size_t refused = 0;
    RefusalCount peerRefused, shutOut;
    std::string buf(kReadChunk, '\0');

    while (!stop_) {
        fd_set readable, writable;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_SET(listener, &readable);
        for (auto& s : sessions) {
            // A closing session reads nothing more: were it in the set, bytes waiting on it
            // would wake select() at once on every pass until the idle time runs out.
            if (!s->closing)
                FD_SET(s->socket, &readable);
            if (!s->out.empty())
                FD_SET(s->socket, &writable);
        }
        // Wakes at least four times a second to notice Stop() and the time limits.
        timeval wait{0, 250000};
        int ready = select(0, &readable, &writable, nullptr, &wait);
        if (ready == SOCKET_ERROR) {
            Sleep(50);
            continue;
        }
        auto now = Clock::now();

        if (FD_ISSET(listener, &readable)) {
            for (int i = 0; i < kAcceptsPerPass; ++i) {
                sockaddr_in from{};
                int fromSize = sizeof from;
                SOCKET peer = accept(listener, reinterpret_cast<sockaddr*>(&from), &fromSize);
                if (peer == INVALID_SOCKET)
                    break;
                const uint32_t address = ntohl(from.sin_addr.s_addr);
                // Every refusal below closes at once: that tells the peer, and costs nothing
                // to keep.
                if (Admission a = config_.access.Admit(address); a != Admission::kAdmitted) {
                    closesocket(peer);
                    if (shutOut.Note(address))
                        log_("connection from " + FormatIpv4(address) + " refused: " +
                             (a == Admission::kDenied ? "listed in Deny" : "not in Allow") + " (" +
                             std::to_string(shutOut.Total()) + " so far)");
                    continue;
                }
                switch (perPeer.TryTake(address)) {
                case PeerTally::Take::kTaken:
                    break;
                case PeerTally::Take::kPeerFull:
                    closesocket(peer);
                    if (peerRefused.Note(address))
                        log_("session limit per peer reached, connection from " +
                             FormatIpv4(address) + " refused (" +
                             std::to_string(peerRefused.Total()) + " so far)");
                    continue;
                case PeerTally::Take::kFull:
                    closesocket(peer);
                    if (refused++ % 100 == 0)
                        log_("session limit reached, connection refused (" +
                             std::to_string(refused) + " so far)");
                    continue;
                }
                SetNonBlocking(peer);
                sessions.push_back(std::make_unique<Session>(peer, address, deliver_, now));
            }
        }

        for (auto it = sessions.begin(); it != sessions.end();) {
            Session& s = **it;
            bool drop = false;
            if (!s.closing && FD_ISSET(s.socket, &readable)) {
                int n = recv(s.socket, buf.data(), kReadChunk, 0);
                if (n > 0) {
                    s.lastActive = now;
                    if (!s.receiver.Feed(std::string_view(buf.data(), static_cast<size_t>(n)),
                                         s.out))
                        s.closing = true;
                } else if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) {
                    drop = true;
                }
            }
            if (!drop && !Flush(s))
                drop = true;
            if (s.out.size() > kMaxPendingReply)
                drop = true;
            if (s.closing && s.out.empty())
                drop = true;
            if (now - s.lastActive > idle || now - s.opened > lifetime)
                drop = true;
            if (drop) {
                perPeer.Release(s.peer);
                it = sessions.erase(it);
            } else
                ++it;
        }
    }
}

} // namespace lv::messenger
