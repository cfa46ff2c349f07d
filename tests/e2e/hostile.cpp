// hostile: misbehaving Messenger clients against msgsvc.exe, for the end-to-end tests.
// A Linux program (the test compiles it with the host compiler): a thousand sockets at
// once are cheaper and more faithful here than through Wine. Loopback only, every mode
// bounded in bytes and seconds.
//
//   hostile ADDRESS PORT MODE [N]
//
//   garbage truncated biglen orphan blocks longnames flood   N: the server's IdleSeconds
//   idle slow                                                N: seconds
//   popups                                                   N: the server's MaxPopups
//
// Prints what the server did; exits 1 when it did something it must not, or failed to do
// what it must (answer with the documented status, close a connection within its bound,
// serve another session while one hangs).
#include "tests/e2e/PeerSocket.h"

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using lvpeer::SendAll;

sockaddr_in g_server{};

// A plain connection to the server, the socket's defaults left as they are.
int Connect() {
    return lvpeer::Connect(g_server, nullptr, /*noDelay=*/false);
}

// Reads what arrives until the peer closes or `ms` pass without data. Returns true when
// the server closed the connection.
bool Drain(int s, int ms, std::string* got = nullptr) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    char buf[4096];
    while (Clock::now() < end) {
        pollfd p{s, POLLIN, 0};
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
        if (poll(&p, 1, left > 0 ? left : 0) <= 0)
            return false;
        ssize_t n = recv(s, buf, sizeof buf, 0);
        if (n <= 0)
            return true;
        if (got)
            got->append(buf, static_cast<size_t>(n));
    }
    return false;
}

std::string Le16(unsigned v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

// One session message holding one SMB of the given command, words and bytes.
std::string Smb(uint8_t command, const std::vector<uint16_t>& words, const std::string& bytes) {
    std::string smb("\xFFSMB", 4);
    smb += static_cast<char>(command);
    smb += std::string(4, '\0');                   // status
    smb += '\x00';                                 // flags
    smb += Le16(0x0001);                           // flags2
    smb += std::string(12, '\0');                  // pid high, signature, reserved
    smb += Le16(1) + Le16(77) + Le16(0) + Le16(5); // tid pid uid mid
    smb += static_cast<char>(words.size());
    for (uint16_t w : words)
        smb += Le16(w);
    smb += Le16(static_cast<unsigned>(bytes.size()));
    smb += bytes;
    std::string frame;
    frame += '\0';
    frame += static_cast<char>((smb.size() >> 16) & 1);
    frame += static_cast<char>((smb.size() >> 8) & 0xFF);
    frame += static_cast<char>(smb.size() & 0xFF);
    return frame + smb;
}

std::string Names() {
    return std::string("\x04mallory\0\x04LUMIVALE\0", 19);
}
std::string Text(const std::string& t) {
    return std::string("\x01") + Le16(t.size()) + t;
}
std::string Start() {
    return Smb(0xD5, {}, Names());
}
std::string Block(const std::string& t) {
    return Smb(0xD7, {1}, Text(t));
}
std::string End() {
    return Smb(0xD6, {1}, "");
}

constexpr uint32_t kNoRoom = 2 | 83u << 16;      // ERRSRV/ERRnoroom
constexpr uint32_t kNotAccepted = 1 | 71u << 16; // ERRDOS 71

// Statuses of the complete SMB replies in `replies`, in order.
std::vector<uint32_t> Statuses(const std::string& replies) {
    std::vector<uint32_t> out;
    size_t pos = 0;
    while (pos + 4 <= replies.size()) {
        size_t len = (static_cast<unsigned char>(replies[pos + 1]) & 1) << 16 |
                     static_cast<unsigned char>(replies[pos + 2]) << 8 |
                     static_cast<unsigned char>(replies[pos + 3]);
        if (pos + 4 + len > replies.size())
            break;
        if (replies[pos] == 0 && len >= 9) {
            uint32_t status = 0;
            for (int i = 3; i >= 0; --i)
                status = status << 8 | static_cast<unsigned char>(replies[pos + 9 + i]);
            out.push_back(status);
        }
        pos += 4 + len;
    }
    return out;
}

uint32_t LastStatus(const std::string& replies) {
    std::vector<uint32_t> all = Statuses(replies);
    return all.empty() ? 0xFFFFFFFF : all.back();
}

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Another session is served meanwhile: a session request answered within a second.
bool OtherSessionServed() {
    int s = Connect();
    if (s < 0)
        return false;
    std::string got;
    SendAll(s, std::string("\x81\0\0\x44", 4) + std::string(0x44, 'A'));
    auto start = Clock::now();
    while (got.size() < 4 && Since(start) < 1.0)
        if (Drain(s, 100, &got))
            break;
    close(s);
    return got.size() >= 4 && static_cast<unsigned char>(got[0]) == 0x82;
}

// Waits up to `seconds` for the server to close each socket (reading and dropping what
// comes); closes them all. How many the server closed.
size_t AwaitCloses(std::vector<int>& socks, double seconds) {
    std::vector<bool> closed(socks.size(), false);
    size_t count = 0;
    auto start = Clock::now();
    while (count < socks.size() && Since(start) < seconds) {
        std::vector<pollfd> fds;
        std::vector<size_t> which;
        for (size_t i = 0; i < socks.size(); ++i)
            if (!closed[i]) {
                fds.push_back({socks[i], POLLIN, 0});
                which.push_back(i);
            }
        if (poll(fds.data(), fds.size(), 50) <= 0)
            continue;
        for (size_t k = 0; k < fds.size(); ++k) {
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[4096];
            ssize_t n = recv(fds[k].fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
                closed[which[k]] = true;
                ++count;
            }
        }
    }
    for (int s : socks)
        close(s);
    socks.clear();
    return count;
}

// Bytes that are no Messenger traffic: the server must close each connection at once.
int Garbage() {
    std::mt19937 rng(1139);
    int failures = 0;
    for (int round = 0; round < 20; ++round) {
        int s = Connect();
        if (s < 0)
            return 1;
        std::string junk(4096 * (round % 4 + 1), '\0');
        for (char& c : junk)
            c = static_cast<char>(rng());
        if (round % 2) {
            // A complete session message of 200 bytes whose SMB header is nonsense.
            junk[0] = '\0';
            junk[1] = '\0';
            junk[2] = '\0';
            junk[3] = static_cast<char>(200);
            junk[4] = '\x00';
        } else {
            // No session type a client sends, in a frame that ends within the junk.
            junk[0] = static_cast<char>(0x90 + round);
            junk[1] = '\0';
            junk[2] = '\x01';
            junk[3] = '\0';
        }
        SendAll(s, junk);
        auto start = Clock::now();
        std::string got;
        bool closed = Drain(s, 1500, &got);
        std::printf("garbage %d: %s after %.2f s, %zu reply bytes\n", round,
                    closed ? "closed by server" : "still open", Since(start), got.size());
        if (!closed || !got.empty())
            ++failures;
        close(s);
    }
    return failures ? 1 : 0;
}

// Frames cut short and left hanging: no reply on them, another session is served
// meanwhile, and the server closes them once they have been idle. Malformed SMBs: one too
// short for its header closes the connection unanswered; one whose byte count runs past
// its frame is refused with ERRDOS 71.
int Truncated(int idleSeconds) {
    int failures = 0;
    std::string whole = Start() + Block("cut short") + End();
    std::vector<int> hanging;
    for (size_t cut = 1; cut < whole.size(); cut += 7) {
        int s = Connect();
        if (s < 0)
            return 1;
        SendAll(s, whole.substr(0, cut));
        hanging.push_back(s);
    }
    if (!OtherSessionServed()) {
        std::printf("truncated: another session was not served meanwhile\n");
        ++failures;
    }
    std::string shortSmb = std::string("\0\0\0\x08\xFFSMB\xD5\0\0\0", 12);
    std::string overrun = Start();
    overrun[overrun.size() - 19 - 2] = '\x7F';
    struct Bad {
        const char* what;
        std::string bytes;
        bool closes;
        uint32_t status;
    } bad[] = {{"SMB shorter than its header", shortSmb, true, 0},
               {"byte count past the frame", overrun, false, kNotAccepted}};
    for (const Bad& b : bad) {
        int s = Connect();
        if (s < 0)
            return 1;
        SendAll(s, b.bytes);
        std::string got;
        bool closed = Drain(s, 1000, &got);
        std::printf("%s: %zu reply bytes, %s\n", b.what, got.size(), closed ? "closed" : "open");
        if (closed != b.closes || (b.closes ? !got.empty() : LastStatus(got) != b.status))
            ++failures;
        close(s);
    }
    size_t count = hanging.size();
    auto start = Clock::now();
    size_t closed = AwaitCloses(hanging, idleSeconds + 3);
    std::printf("truncated: %zu of %zu hanging connections closed by the server in %.1f s\n",
                closed, count, Since(start));
    if (closed != count)
        ++failures;
    return failures ? 1 : 0;
}

int BigLength(int idleSeconds) {
    // Declared 0x1FFFF bytes: sent whole on some connections (then the server finds no SMB
    // in it and closes), half on others (then it waits for the rest), in parallel.
    std::vector<int> whole, half;
    for (int i = 0; i < 16; ++i) {
        int s = Connect();
        if (s < 0)
            return 1;
        std::string frame("\x00\x01\xFF\xFF", 4);
        std::string body(i % 2 ? 0x1FFFF : 0x10000, 'A');
        SendAll(s, frame + body);
        (i % 2 ? whole : half).push_back(s);
    }
    // The largest length with the reserved flag bits set too: they do not make it larger,
    // so this is another half-sent frame of 0x1FFFF bytes.
    int s = Connect();
    if (s < 0)
        return 1;
    SendAll(s, std::string("\x00\xFF\xFF\xFF", 4) + std::string(70000, 'B'));
    half.push_back(s);

    int failures = 0;
    size_t wholeCount = whole.size(), halfCount = half.size();
    size_t wholeClosed = AwaitCloses(whole, 2.0);
    std::printf("big frames sent whole: %zu of %zu closed by the server\n", wholeClosed,
                wholeCount);
    if (wholeClosed != wholeCount)
        ++failures;
    if (!OtherSessionServed()) {
        std::printf("big frames: another session was not served while they hang\n");
        ++failures;
    }
    auto start = Clock::now();
    size_t halfClosed = AwaitCloses(half, idleSeconds + 3);
    std::printf("big frames half sent: %zu of %zu closed by the server in %.1f s\n", halfClosed,
                halfCount, Since(start));
    if (halfClosed != halfCount)
        ++failures;
    return failures ? 1 : 0;
}

// Text blocks and an end for a message never started: each refused with ERRDOS 71.
int Orphan() {
    int s = Connect();
    if (s < 0)
        return 1;
    std::string replies;
    for (int i = 0; i < 50; ++i)
        SendAll(s, Block("text without a start"));
    SendAll(s, End());
    auto start = Clock::now();
    while (Statuses(replies).size() < 51 && Since(start) < 3.0)
        if (Drain(s, 200, &replies))
            break;
    close(s);
    std::vector<uint32_t> statuses = Statuses(replies);
    size_t refused = 0;
    for (uint32_t st : statuses)
        refused += st == kNotAccepted ? 1 : 0;
    std::printf("blocks without a start: %zu replies, %zu of them ERRDOS 71\n", statuses.size(),
                refused);
    return statuses.size() == 51 && refused == 51 ? 0 : 1;
}

int Blocks() {
    int s = Connect();
    if (s < 0)
        return 1;
    std::string replies;
    SendAll(s, Start());
    const std::string chunk(127, 'x');
    const int total = 5000;
    bool closed = false;
    for (int i = 0; i < total && !closed; ++i) {
        if (!SendAll(s, Block(chunk)))
            break;
        // Read the answers as they come, as a client would; the server must not hoard them.
        if (i % 50 == 49)
            closed = Drain(s, 5, &replies);
    }
    if (!closed) {
        SendAll(s, End());
        auto start = Clock::now();
        while (Statuses(replies).size() < total + 2 && Since(start) < 5.0)
            if (Drain(s, 200, &replies))
                break;
    }
    close(s);
    uint32_t status = LastStatus(replies);
    std::printf("%d blocks of 127 bytes: %zu replies, last status %08x\n", total,
                Statuses(replies).size(), status);
    // 635000 bytes of text are far past any message size: the end is answered ERRnoroom.
    return Statuses(replies).size() == total + 2 && status == kNoRoom ? 0 : 1;
}

// Names of up to frame size, as sender and as recipient, in D0 and D5: each refused with
// ERRnoroom, none shown, and the memory stays bounded (the script watches that).
int LongNames() {
    // An SMB's byte count is 16 bits: 65000 is as long as a name can be.
    const size_t sizes[] = {256, 4096, 30000, 65000};
    int refused = 0, attempts = 0;
    for (int conn = 0; conn < 20; ++conn) {
        int s = Connect();
        if (s < 0)
            return 1;
        for (int i = 0; i < 10; ++i, ++attempts) {
            size_t n = sizes[(conn + i) % 4];
            bool senderLong = i % 2 == 0;
            std::string from = senderLong ? std::string(n, 'M') : "mallory";
            std::string to = senderLong ? "LUMIVALE" : std::string(n, 'R');
            std::string names =
                "\x04" + from + std::string(1, '\0') + "\x04" + to + std::string(1, '\0');
            bool single = conn % 2 == 0;
            std::string request =
                single ? Smb(0xD0, {}, names + Text("hello")) : Smb(0xD5, {}, names);
            std::string got;
            SendAll(s, request);
            auto start = Clock::now();
            while (Statuses(got).empty() && Since(start) < 3.0)
                if (Drain(s, 200, &got))
                    break;
            refused += Statuses(got).size() == 1 && Statuses(got)[0] == kNoRoom ? 1 : 0;
        }
        close(s);
    }
    std::printf("long names: %d of %d attempts refused with ERRnoroom\n", refused, attempts);
    return refused == attempts ? 0 : 1;
}

// More messages than pop-ups may be open: exactly `maxPopups` are taken, the rest refused
// with ERRnoroom.
int Popups(int maxPopups) {
    int s = Connect();
    if (s < 0)
        return 1;
    const int total = 300;
    std::string sender(200, 'p');
    std::string names =
        "\x04" + sender + std::string(1, '\0') + "\x04LUMIVALE" + std::string(1, '\0');
    std::string replies;
    for (int i = 0; i < total; ++i)
        SendAll(s, Smb(0xD0, {}, names + Text("flood " + std::to_string(i))));
    auto start = Clock::now();
    while (Statuses(replies).size() < total && Since(start) < 10.0)
        if (Drain(s, 200, &replies))
            break;
    close(s);
    int ok = 0, noRoom = 0;
    for (uint32_t st : Statuses(replies)) {
        ok += st == 0 ? 1 : 0;
        noRoom += st == kNoRoom ? 1 : 0;
    }
    std::printf("%d messages with %d pop-ups allowed: %d shown, %d refused with ERRnoroom\n", total,
                maxPopups, ok, noRoom);
    return ok == maxPopups && noRoom == total - maxPopups ? 0 : 1;
}

// A thousand connections at once: all beyond the session limit closed within a second.
int Flood(int) {
    rlimit lim{};
    getrlimit(RLIMIT_NOFILE, &lim);
    lim.rlim_cur = lim.rlim_max;
    setrlimit(RLIMIT_NOFILE, &lim);
    std::vector<int> socks;
    for (int i = 0; i < 1000; ++i) {
        int s = Connect();
        if (s < 0)
            break;
        socks.push_back(s);
    }
    size_t count = socks.size();
    auto start = Clock::now();
    size_t closed = AwaitCloses(socks, 1.0);
    std::printf("flood: %zu connections, %zu closed by the server within %.2f s\n", count, closed,
                Since(start));
    // The session limit is 128: the other 872 must be turned away at once.
    return count == 1000 && closed >= 850 ? 0 : 1;
}

int Idle(int seconds) {
    int s = Connect();
    if (s < 0)
        return 1;
    auto start = Clock::now();
    bool closed = Drain(s, (seconds + 3) * 1000);
    double took = Since(start);
    close(s);
    std::printf("idle peer: %s after %.1f s\n", closed ? "closed" : "still open", took);
    return closed && took >= seconds - 0.5 ? 0 : 1;
}

// One byte a second, each within the idle time: the server must keep the session (it is
// not idle), while the script checks that another sender is not held up.
int Slow(int seconds) {
    int s = Connect();
    if (s < 0)
        return 1;
    std::string msg = Start();
    bool open = true;
    for (int i = 0; i < seconds && i < static_cast<int>(msg.size()) && open; ++i) {
        if (!SendAll(s, msg.substr(static_cast<size_t>(i), 1)))
            open = false;
        else
            open = !Drain(s, 1000);
    }
    close(s);
    std::printf("slow peer: %d bytes at one a second, %s\n", seconds,
                open ? "kept open" : "closed by the server");
    return open ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: hostile ADDRESS PORT MODE [SECONDS]\n");
        return 2;
    }
    if (!lvpeer::ParseLoopback(argv[1], static_cast<uint16_t>(std::atoi(argv[2])), g_server)) {
        std::fprintf(stderr, "hostile: loopback addresses only\n");
        return 2;
    }
    std::string mode = argv[3];
    int n = argc > 4 ? std::atoi(argv[4]) : 0;
    int seconds = n >= 1 && n <= 30 ? n : 5;
    if (mode == "garbage")
        return Garbage();
    if (mode == "truncated")
        return Truncated(seconds);
    if (mode == "biglen")
        return BigLength(seconds);
    if (mode == "longnames")
        return LongNames();
    if (mode == "popups")
        return Popups(n);

    if (mode == "orphan")
        return Orphan();
    if (mode == "blocks")
        return Blocks();
    if (mode == "flood")
        return Flood(seconds);
    if (mode == "idle")
        return Idle(seconds);
    if (mode == "slow")
        return Slow(seconds);
    std::fprintf(stderr, "hostile: unknown mode %s\n", mode.c_str());
    return 2;
}
