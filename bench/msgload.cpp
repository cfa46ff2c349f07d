// msgload: the Linux side of the message benchmarks. Built by the bench scripts with the host
// compiler together with the portable protocol core (messenger/NetBios.cpp, messenger/Smb.cpp).
// Loopback only; every mode is bounded in messages and seconds.
//
//   msgload accept ADDRESS PORT CONNECTIONS TOTAL SECONDS
//       TOTAL messages spread over CONNECTIONS persistent sessions (each opened once with a
//       NetBIOS session request), each message sent as the Messenger clients send it:
//       start, text block, end, every request waiting for its answer (Samba's smbd takes
//       only this form before a protocol negotiation). Prints "sent S accepted A refused R ms T rate M": the time from the first
//       request to the last answer and the accepted messages per second. Exit 1 when not
//       every message was answered within SECONDS.
//
//   msgload latency FILE N SECONDS COMMAND
//       N times, one after the other: runs `sh -c COMMAND` with LV_I set to 1..N, and takes
//       the time from its start until FILE changes size (polled every 0.5 ms). Prints each
//       time, then "median M p95 P max X" in ms. Exit 1 when a message did not reach FILE
//       within SECONDS.
#include "messenger/NetBios.h"
#include "messenger/Smb.h"
#include "tests/e2e/PeerSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

namespace {

using namespace lv::messenger;
using lvpeer::SendAll;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

SmbHeader Header(uint8_t command, int number) {
    SmbHeader h;
    h.command = command;
    h.flags2 = smb::kFlags2LongNames;
    h.pid = static_cast<uint16_t>(number);
    h.mid = static_cast<uint16_t>(number);
    return h;
}

std::string Request(uint8_t command, int number, const std::vector<uint16_t>& words,
                    std::string_view bytes) {
    return SessionFrame(session::kMessage, BuildSmb(Header(command, number), words, bytes));
}

// A message as smbclient -M and every Messenger client send it: start (answered with a group
// id), one text block, end. Each request waits for its answer.
struct Connection {
    int socket = -1;
    enum class Phase { kSession, kStart, kText, kEnd, kDone } phase = Phase::kSession;
    int quota = 0, done = 0, number = 0;
    uint16_t group = 0;
    FrameReader reader{kMaxSessionPayload + kSessionHeaderBytes};
};

int Accept(const char* address, int port, int connections, int total, int seconds) {
    sockaddr_in server{};
    if (!lvpeer::ParseLoopback(address, static_cast<uint16_t>(port), server)) {
        fprintf(stderr, "msgload: loopback addresses only\n");
        return 2;
    }
    std::vector<Connection> conns(static_cast<size_t>(connections));
    const std::string request =
        SessionRequest(EncodeNetBiosName("LUMIVALE", kSuffixMessenger),
                       EncodeNetBiosName("BENCH", kSuffixWorkstation));
    int next = 0, accepted = 0, refused = 0, finished = 0;
    auto startMessage = [&](Connection& c) {
        if (c.done >= c.quota) {
            c.phase = Connection::Phase::kDone;
            return true;
        }
        c.number = ++next;
        c.phase = Connection::Phase::kStart;
        return SendAll(c.socket, Request(smb::kSendStart, c.number, {},
                                         StringBuffer("bench") + StringBuffer("LUMIVALE")));
    };
    auto start = Clock::now();
    for (size_t i = 0; i < conns.size(); ++i) {
        Connection& c = conns[i];
        c.quota = total / connections + (static_cast<int>(i) < total % connections ? 1 : 0);
        c.socket = lvpeer::Connect(server, nullptr, /*noDelay=*/true);
        if (c.socket < 0 || !SendAll(c.socket, request)) {
            fprintf(stderr, "msgload: cannot connect: %s\n", strerror(errno));
            return 1;
        }
    }
    char buffer[65536];
    while (finished < total && MsSince(start) < seconds * 1000.0) {
        std::vector<pollfd> fds;
        for (Connection& c : conns)
            fds.push_back(pollfd{c.socket, POLLIN, 0});
        if (poll(fds.data(), fds.size(), 200) < 0)
            return 1;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            Connection& c = conns[i];
            ssize_t n = recv(c.socket, buffer, sizeof buffer, 0);
            if (n <= 0) {
                fprintf(stderr, "msgload: the server closed a session\n");
                return 1;
            }
            std::string_view input(buffer, static_cast<size_t>(n));
            std::string frame;
            while (c.reader.Next(input, frame) == FrameReader::Result::kFrame) {
                auto header = ParseSessionHeader(frame);
                if (header->type == session::kNegative) {
                    fprintf(stderr, "msgload: session refused\n");
                    return 1;
                }
                bool ok = true;
                if (header->type == session::kPositive && c.phase == Connection::Phase::kSession) {
                    ok = startMessage(c);
                } else if (header->type == session::kMessage) {
                    auto packet = ParseSmb(std::string_view(frame).substr(kSessionHeaderBytes));
                    bool good = packet && packet->header.status == 0;
                    if (c.phase == Connection::Phase::kStart && good) {
                        // smbd answers the start without a group id, as smbclient expects.
                        c.group = packet->words.empty() ? 0 : packet->words[0];
                        c.phase = Connection::Phase::kText;
                        std::string text = "acceptance " + std::to_string(c.number) +
                                           "\r\n\xB5\xDA\xB6\xFE\xD0\xD0";
                        ok = SendAll(c.socket, Request(smb::kSendText, c.number, {c.group},
                                                       DataBuffer(text)));
                    } else if (c.phase == Connection::Phase::kText && good) {
                        c.phase = Connection::Phase::kEnd;
                        ok = SendAll(c.socket, Request(smb::kSendEnd, c.number, {c.group}, {}));
                    } else if (c.phase != Connection::Phase::kDone) {
                        // The end's answer, or a refusal at any step: the message is over.
                        if (!good && refused == 0)
                            fprintf(stderr, "msgload: first refusal: status 0x%08x at step %d\n",
                                    packet ? packet->header.status : 0u, static_cast<int>(c.phase));
                        ++(good && c.phase == Connection::Phase::kEnd ? accepted : refused);
                        ++finished;
                        ++c.done;
                        ok = startMessage(c);
                    }
                }
                if (!ok)
                    return 1;
            }
        }
    }
    double ms = MsSince(start);
    for (Connection& c : conns)
        close(c.socket);
    printf("sent %d accepted %d refused %d ms %.0f rate %.1f\n", next, accepted, refused, ms,
           accepted * 1000.0 / ms);
    return finished == total ? 0 : 1;
}

long long SizeOf(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

int Latency(const char* file, int count, int seconds, const char* command) {
    std::vector<double> times;
    for (int i = 1; i <= count; ++i) {
        long long before = SizeOf(file);
        auto start = Clock::now();
        pid_t child = fork();
        if (child == 0) {
            setenv("LV_I", std::to_string(i).c_str(), 1);
            execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
            _exit(127);
        }
        double took = -1;
        bool running = true;
        while (MsSince(start) < seconds * 1000.0) {
            if (running && waitpid(child, nullptr, WNOHANG) == child)
                running = false;
            if (took < 0 && SizeOf(file) != before)
                took = MsSince(start);
            if (took >= 0 && !running)
                break;
            usleep(500);
        }
        if (running) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        if (took < 0) {
            fprintf(stderr, "msgload: message %d did not reach %s\n", i, file);
            return 1;
        }
        printf("%d %.1f\n", i, took);
        fflush(stdout);
        times.push_back(took);
        usleep(100 * 1000); // sequential: the next starts after a pause
    }
    std::sort(times.begin(), times.end());
    auto at = [&](double q) {
        return times[std::min(times.size() - 1, static_cast<size_t>(q * (times.size() - 1) + 0.5))];
    };
    printf("median %.1f p95 %.1f max %.1f\n", at(0.5), at(0.95), times.back());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "accept" && argc == 7) {
        int total = atoi(argv[5]), seconds = atoi(argv[6]);
        if (total < 1 || total > 5000 || seconds < 1 || seconds > 300)
            return 2;
        return Accept(argv[2], atoi(argv[3]), std::clamp(atoi(argv[4]), 1, 64), total, seconds);
    }
    if (mode == "latency" && argc == 6) {
        int count = atoi(argv[3]), seconds = atoi(argv[4]);
        if (count < 1 || count > 500 || seconds < 1 || seconds > 60)
            return 2;
        return Latency(argv[2], count, seconds, argv[5]);
    }
    fprintf(stderr, "usage: msgload accept ADDRESS PORT CONNECTIONS TOTAL SECONDS\n"
                    "       msgload latency FILE N SECONDS COMMAND\n");
    return 2;
}
