// hostile: misbehaving Messenger clients against msgsvc.exe, for the end-to-end tests.
// A Linux program (the test compiles it with the host compiler): a thousand sockets at
// once are cheaper and more faithful here than through Wine. Loopback only, every mode
// bounded in bytes and seconds.
//
//   hostile ADDRESS PORT MODE      MODE: garbage truncated biglen orphan blocks flood idle slow
//
// Prints what the server did; exits 1 when it did something it must not (accepted an
// oversized message, kept a flood of connections open, never timed out an idle peer).
#include <arpa/inet.h>
#include <netinet/in.h>
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

sockaddr_in g_server{};

bool IsLoopback(const sockaddr_in& a) {
    return (ntohl(a.sin_addr.s_addr) >> 24) == 127;
}

int Connect() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return -1;
    if (connect(s, reinterpret_cast<sockaddr*>(&g_server), sizeof g_server) != 0) {
        close(s);
        return -1;
    }
    return s;
}

bool SendAll(int s, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = send(s, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
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

// Status of the last complete SMB reply in `replies` (0 = success).
uint32_t LastStatus(const std::string& replies) {
    size_t pos = 0;
    uint32_t status = 0xFFFFFFFF;
    while (pos + 4 <= replies.size()) {
        size_t len = (static_cast<unsigned char>(replies[pos + 1]) & 1) << 16 |
                     static_cast<unsigned char>(replies[pos + 2]) << 8 |
                     static_cast<unsigned char>(replies[pos + 3]);
        if (pos + 4 + len > replies.size())
            break;
        if (replies[pos] == 0 && len >= 9) {
            status = 0;
            for (int i = 3; i >= 0; --i)
                status = status << 8 | static_cast<unsigned char>(replies[pos + 9 + i]);
        }
        pos += 4 + len;
    }
    return status;
}

int Garbage() {
    std::mt19937 rng(1139);
    for (int round = 0; round < 20; ++round) {
        int s = Connect();
        if (s < 0)
            return 1;
        std::string junk(4096 * (round % 4 + 1), '\0');
        for (char& c : junk)
            c = static_cast<char>(rng());
        if (round % 2)
            junk[0] = '\0'; // looks like a session message, then nonsense
        SendAll(s, junk);
        bool closed = Drain(s, 300);
        std::printf("garbage %d: %s\n", round, closed ? "closed by server" : "still open");
        close(s);
    }
    return 0;
}

int Truncated() {
    std::string whole = Start() + Block("cut short") + End();
    for (size_t cut = 1; cut < whole.size(); cut += 7) {
        int s = Connect();
        if (s < 0)
            return 1;
        SendAll(s, whole.substr(0, cut));
        close(s); // vanishes mid-frame
    }
    // An SMB shorter than its header, and one whose byte count runs past the frame.
    std::string shortSmb = std::string("\0\0\0\x08\xFFSMB\xD5\0\0\0", 12);
    std::string overrun = Start();
    overrun[overrun.size() - 19 - 2] = '\x7F';
    for (const std::string& bad : {shortSmb, overrun}) {
        int s = Connect();
        if (s < 0)
            return 1;
        SendAll(s, bad);
        std::string got;
        bool closed = Drain(s, 1000, &got);
        std::printf("malformed SMB: %zu reply bytes, %s\n", got.size(), closed ? "closed" : "open");
        close(s);
    }
    return 0;
}

int BigLength() {
    // Declared 0x1FFFF bytes: sent whole on some connections, half on others, in parallel.
    std::vector<int> socks;
    for (int i = 0; i < 16; ++i) {
        int s = Connect();
        if (s < 0)
            continue;
        std::string frame("\x00\x01\xFF\xFF", 4);
        std::string body(i % 2 ? 0x1FFFF : 0x10000, 'A');
        SendAll(s, frame + body);
        socks.push_back(s);
    }
    // Past the largest frame length the protocol can express: a bogus type with flags set.
    int s = Connect();
    if (s >= 0) {
        SendAll(s, std::string("\x00\xFF\xFF\xFF", 4) + std::string(70000, 'B'));
        socks.push_back(s);
    }
    int closed = 0;
    for (int t : socks) {
        closed += Drain(t, 1500) ? 1 : 0;
        close(t);
    }
    std::printf("big frames: %zu connections, %d closed by server\n", socks.size(), closed);
    return 0;
}

int Orphan() {
    int s = Connect();
    if (s < 0)
        return 1;
    std::string replies;
    for (int i = 0; i < 50; ++i)
        SendAll(s, Block("text without a start"));
    SendAll(s, End());
    Drain(s, 1500, &replies);
    close(s);
    uint32_t status = LastStatus(replies);
    std::printf("blocks without a start: last status %08x\n", status);
    // The end of a message that never started must not be acknowledged as delivered.
    return status == 0 ? 1 : 0;
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
        Drain(s, 3000, &replies);
    }
    close(s);
    uint32_t status = LastStatus(replies);
    std::printf("%d blocks of 127 bytes: %zu reply bytes, last status %08x\n", total,
                replies.size(), status);
    // 635000 bytes of text are far past any message size: it must be refused.
    return status == 0 ? 1 : 0;
}

int Flood() {
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
    // Give the server time to accept (and refuse) them all.
    auto end = Clock::now() + std::chrono::seconds(4);
    std::vector<bool> closed(socks.size(), false);
    size_t closedCount = 0;
    while (Clock::now() < end && closedCount + 200 < socks.size()) {
        std::vector<pollfd> fds;
        for (size_t i = 0; i < socks.size(); ++i)
            if (!closed[i])
                fds.push_back({socks[i], POLLIN, 0});
        if (poll(fds.data(), fds.size(), 200) <= 0)
            continue;
        for (const pollfd& p : fds) {
            if (!(p.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char c;
            if (recv(p.fd, &c, 1, MSG_DONTWAIT) <= 0)
                for (size_t i = 0; i < socks.size(); ++i)
                    if (socks[i] == p.fd && !closed[i]) {
                        closed[i] = true;
                        ++closedCount;
                    }
        }
    }
    for (int s : socks)
        close(s);
    std::printf("flood: %zu connections, %zu closed at once by the server\n", socks.size(),
                closedCount);
    // A cap of a few hundred sessions at most: most of a thousand must be turned away.
    return socks.size() == 1000 && closedCount >= 500 ? 0 : 1;
}

int Idle(int seconds) {
    int s = Connect();
    if (s < 0)
        return 1;
    auto start = Clock::now();
    bool closed = Drain(s, (seconds + 3) * 1000);
    double took = std::chrono::duration<double>(Clock::now() - start).count();
    close(s);
    std::printf("idle peer: %s after %.1f s\n", closed ? "closed" : "still open", took);
    return closed ? 0 : 1;
}

int Slow(int seconds) {
    int s = Connect();
    if (s < 0)
        return 1;
    std::string msg = Start();
    for (int i = 0; i < seconds && i < static_cast<int>(msg.size()); ++i) {
        if (!SendAll(s, msg.substr(static_cast<size_t>(i), 1)))
            break;
        sleep(1);
    }
    close(s);
    std::printf("slow peer: %d bytes at one a second\n", seconds);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: hostile ADDRESS PORT MODE [SECONDS]\n");
        return 2;
    }
    g_server.sin_family = AF_INET;
    g_server.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[2])));
    if (inet_pton(AF_INET, argv[1], &g_server.sin_addr) != 1 || !IsLoopback(g_server)) {
        std::fprintf(stderr, "hostile: loopback addresses only\n");
        return 2;
    }
    std::string mode = argv[3];
    int seconds = argc > 4 ? std::atoi(argv[4]) : 5;
    if (seconds < 1 || seconds > 30)
        seconds = 5;
    if (mode == "garbage")
        return Garbage();
    if (mode == "truncated")
        return Truncated();
    if (mode == "biglen")
        return BigLength();
    if (mode == "orphan")
        return Orphan();
    if (mode == "blocks")
        return Blocks();
    if (mode == "flood")
        return Flood();
    if (mode == "idle")
        return Idle(seconds);
    if (mode == "slow")
        return Slow(seconds);
    std::fprintf(stderr, "hostile: unknown mode %s\n", mode.c_str());
    return 2;
}
