// peerload: one peer address's load on msgsvc.exe, for the fair-share end-to-end test. A
// Linux program built by the test with the host compiler and the portable protocol core;
// each connection is bound to SOURCE (127.0.0.2, 127.0.0.3, ... are all loopback on Linux),
// so the service sees every mode as a peer of its own. Loopback only; every mode bounded
// in connections, messages and seconds.
//
//   peerload hold SERVER PORT SOURCE N SECONDS
//       Keeps N sessions open for SECONDS, or until SIGTERM: a session request on each,
//       then a keep-alive every 5 s, so none is ever idle. A connection the server closes
//       is opened again a second later, as a peer bent on holding the slots would. After 3 s prints
//       "ready held H refused R"; at the end "held at most M at end H positive P refused R
//       dropped D" (refused: closed unanswered; dropped: closed after a positive response).
//
//   peerload flood SERVER PORT SOURCE TOTAL SECONDS
//       TOTAL single-block messages from "flood" as fast as the server answers: four
//       sessions, the next message sent the moment the last is answered. Prints "sent S
//       shown A refused R other O unanswered U ms T" (shown: answered with success;
//       refused: ERRnoroom).
//       Exit 1 when a message got no answer or another one.
//
//   peerload knock SERVER PORT SOURCE
//       One session request: prints "admitted" (positive response, exit 0) or "closed"
//       (closed unanswered, exit 1); exit 2 when neither happened within 3 s.
#include "messenger/NetBios.h"
#include "messenger/Smb.h"
#include "tests/e2e/PeerSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace lv::messenger;
using lvpeer::SendAll;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kNoRoom = smb::DosStatus(smb::kErrSrv, smb::kErrNoRoom);
sockaddr_in g_server{}, g_source{};
volatile std::sig_atomic_t g_stop = 0;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// A connection from SOURCE, each message sent at once; -1 when the server cannot be reached.
int Connect() {
    return lvpeer::Connect(g_server, &g_source, /*noDelay=*/true);
}

std::string Request() {
    return SessionRequest(EncodeNetBiosName("LUMIVALE", kSuffixMessenger),
                          EncodeNetBiosName("PEERLOAD", kSuffixWorkstation));
}

std::string Message(int number) {
    SmbHeader h;
    h.command = smb::kSendSingle;
    h.flags2 = smb::kFlags2LongNames;
    h.mid = static_cast<uint16_t>(number);
    std::string bytes = StringBuffer("flood") + StringBuffer("LUMIVALE") +
                        DataBuffer("flood " + std::to_string(number));
    return SessionFrame(session::kMessage, BuildSmb(h, {}, bytes));
}

struct Held {
    int socket = -1;
    bool positive = false;
    Clock::time_point retryAt, keptAlive;
};

int Hold(int count, int seconds) {
    std::vector<Held> slots(static_cast<size_t>(count));
    int positive = 0, refused = 0, dropped = 0, maxHeld = 0;
    bool readyShown = false;
    const auto start = Clock::now();
    const std::string request = Request(), keepAlive("\x85\0\0\0", 4);
    char buf[4096];
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    while (Seconds(start) < seconds && !g_stop) {
        auto now = Clock::now();
        for (Held& h : slots) {
            if (h.socket < 0 && now >= h.retryAt) {
                h.socket = Connect();
                h.positive = false;
                if (h.socket < 0 || !SendAll(h.socket, request)) {
                    if (h.socket >= 0)
                        close(h.socket);
                    h.socket = -1;
                    h.retryAt = now + std::chrono::seconds(1);
                    ++refused;
                }
            } else if (h.positive && now - h.keptAlive > std::chrono::seconds(5)) {
                SendAll(h.socket, keepAlive);
                h.keptAlive = now;
            }
        }
        std::vector<pollfd> fds;
        std::vector<Held*> which;
        for (Held& h : slots)
            if (h.socket >= 0) {
                fds.push_back({h.socket, POLLIN, 0});
                which.push_back(&h);
            }
        poll(fds.data(), fds.size(), 100);
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            Held& h = *which[i];
            ssize_t n = recv(h.socket, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                if (!h.positive && static_cast<unsigned char>(buf[0]) == session::kPositive) {
                    h.positive = true;
                    h.keptAlive = Clock::now();
                    ++positive;
                }
                continue;
            }
            ++(h.positive ? dropped : refused);
            close(h.socket);
            h.socket = -1;
            h.retryAt = Clock::now() + std::chrono::seconds(1);
        }
        int held = 0;
        for (const Held& h : slots)
            held += h.socket >= 0 && h.positive ? 1 : 0;
        maxHeld = std::max(maxHeld, held);
        if (!readyShown && Seconds(start) >= 3) {
            std::printf("ready held %d refused %d\n", held, refused);
            std::fflush(stdout);
            readyShown = true;
        }
    }
    int held = 0;
    for (Held& h : slots) {
        held += h.socket >= 0 && h.positive ? 1 : 0;
        if (h.socket >= 0)
            close(h.socket);
    }
    std::printf("held at most %d at end %d positive %d refused %d dropped %d\n", maxHeld, held,
                positive, refused, dropped);
    return 0;
}

int Flood(int total, int seconds) {
    constexpr int kSessions = 4;
    struct Flooder {
        int socket = -1;
        int next = 0, last = 0; // the next message to send, the end of this session's share
        FrameReader reader{kMaxSessionPayload + kSessionHeaderBytes};
    };
    std::vector<Flooder> conns(kSessions);
    int sent = 0, shown = 0, refused = 0, other = 0;
    const auto start = Clock::now();
    for (int i = 0; i < kSessions; ++i) {
        Flooder& f = conns[static_cast<size_t>(i)];
        f.next = total * i / kSessions;
        f.last = total * (i + 1) / kSessions;
        f.socket = Connect();
        if (f.socket < 0 || !SendAll(f.socket, Request())) {
            std::fprintf(stderr, "peerload: cannot connect\n");
            return 1;
        }
    }
    int open = kSessions;
    char buf[65536];
    while (Seconds(start) < seconds && open > 0) {
        std::vector<pollfd> fds;
        for (Flooder& f : conns)
            fds.push_back({f.socket, POLLIN, 0});
        poll(fds.data(), fds.size(), 200);
        for (size_t i = 0; i < fds.size(); ++i) {
            Flooder& f = conns[i];
            if (f.socket < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            ssize_t n = recv(f.socket, buf, sizeof buf, MSG_DONTWAIT);
            std::string_view input(buf, n > 0 ? static_cast<size_t>(n) : 0);
            std::string frame;
            bool more = n > 0;
            // The next message goes out the moment the last is answered (the first, when
            // the session request is), as fast as the server takes them.
            while (more && f.reader.Next(input, frame) == FrameReader::Result::kFrame) {
                if (ParseSessionHeader(frame)->type == session::kMessage) {
                    auto packet = ParseSmb(std::string_view(frame).substr(kSessionHeaderBytes));
                    uint32_t status = packet ? packet->header.status : 0xFFFFFFFF;
                    ++(status == 0 ? shown : status == kNoRoom ? refused : other);
                }
                more = f.next < f.last && SendAll(f.socket, Message(f.next++));
                sent += more ? 1 : 0;
            }
            if (!more) {
                if (n <= 0)
                    std::fprintf(stderr, "peerload: the server closed a flooding session\n");
                close(f.socket);
                f.socket = -1;
                --open;
            }
        }
    }
    for (Flooder& f : conns)
        if (f.socket >= 0)
            close(f.socket);
    std::printf("sent %d shown %d refused %d other %d unanswered %d ms %.0f\n", sent, shown,
                refused, other, sent - shown - refused - other, Seconds(start) * 1000);
    return sent == total && shown + refused == total ? 0 : 1;
}

int Knock() {
    int s = Connect();
    if (s < 0 || !SendAll(s, Request())) {
        std::printf("closed\n");
        return 1;
    }
    pollfd p{s, POLLIN, 0};
    char buf[64];
    ssize_t n = poll(&p, 1, 3000) == 1 ? recv(s, buf, sizeof buf, 0) : -2;
    close(s);
    if (n > 0 && static_cast<unsigned char>(buf[0]) == session::kPositive) {
        std::printf("admitted\n");
        return 0;
    }
    std::printf(n == 0 || n == -1 ? "closed\n" : "no answer\n");
    return n == 0 || n == -1 ? 1 : 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (argc < 5 ||
        !lvpeer::ParseLoopback(argv[2], static_cast<uint16_t>(std::atoi(argv[3])), g_server) ||
        !lvpeer::ParseLoopback(argv[4], 0, g_source)) {
        std::fprintf(stderr, "usage: peerload hold|flood|knock SERVER PORT SOURCE ... "
                             "(loopback addresses only)\n");
        return 2;
    }
    int n = argc > 5 ? std::atoi(argv[5]) : 0;
    int seconds = argc > 6 ? std::atoi(argv[6]) : 0;
    if (mode == "hold" && n >= 1 && n <= 512 && seconds >= 1 && seconds <= 300)
        return Hold(n, seconds);
    if (mode == "flood" && n >= 1 && n <= 5000 && seconds >= 1 && seconds <= 300)
        return Flood(n, seconds);
    if (mode == "knock")
        return Knock();
    std::fprintf(stderr, "peerload: bad mode or numbers\n");
    return 2;
}
