#pragma once
// Sockets for the Linux programs that play Messenger peers against msgsvc.exe from outside
// Wine: tests/e2e/peerload.cpp, tests/e2e/hostile.cpp and bench/msgload.cpp. Header only, so
// each still builds with one plain c++ command (with -I at the source root). Every address
// they take goes through ParseLoopback: none of them reaches past this machine.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

namespace lvpeer {

// TEXT as an IPv4 address in 127.0.0.0/8, with PORT; false for anything else.
inline bool ParseLoopback(const char* text, uint16_t port, sockaddr_in& out) {
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return inet_pton(AF_INET, text, &out.sin_addr) == 1 &&
           (ntohl(out.sin_addr.s_addr) >> 24) == 127;
}

// A TCP connection to SERVER, bound to SOURCE when one is given (on Linux every 127.x.y.z is
// this machine's, so each source is a peer of its own to the server), with Nagle's delay off
// when `noDelay`. -1 when the server cannot be reached, errno saying why.
inline int Connect(const sockaddr_in& server, const sockaddr_in* source, bool noDelay) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return -1;
    if (noDelay) {
        int one = 1;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    if ((source && bind(s, reinterpret_cast<const sockaddr*>(source), sizeof *source) != 0) ||
        connect(s, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        int why = errno;
        close(s);
        errno = why;
        return -1;
    }
    return s;
}

// All of DATA, however the kernel splits it; false once the connection fails (a peer that
// has closed does not raise SIGPIPE).
inline bool SendAll(int s, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = send(s, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace lvpeer
