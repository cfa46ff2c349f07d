#include "messenger/ServiceCheck.h"

#include "messenger/NetBios.h"
#include "messenger/TcpSocket.h"
#include "messenger/Winsock.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>

namespace lv::messenger {

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

using Socket = TcpSocket;

sockaddr_in Address(uint32_t address, uint16_t port) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(port);
    sin.sin_addr.s_addr = htonl(address);
    return sin;
}

bool WaitFor(SOCKET s, bool write, ULONGLONG end) {
    ULONGLONG now = GetTickCount64();
    if (now >= end)
        return false;
    fd_set set, failed;
    FD_ZERO(&set);
    FD_ZERO(&failed);
    FD_SET(s, &set);
    FD_SET(s, &failed);
    unsigned ms = static_cast<unsigned>(end - now);
    timeval tv{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
    int n = select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, &tv);
    return n > 0 && FD_ISSET(s, &set) && !FD_ISSET(s, &failed);
}

} // namespace

bool MessengerAnswers(uint32_t address, uint16_t port, unsigned timeoutMs) {
    if (!WinsockReady())
        return false;
    ULONGLONG end = GetTickCount64() + timeoutMs;
    Socket sock;
    u_long nonBlocking = 1;
    if (sock.get() == INVALID_SOCKET || ioctlsocket(sock.get(), FIONBIO, &nonBlocking) != 0)
        return false;
    sockaddr_in sin = Address(address, port);
    if (connect(sock.get(), reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK)
        return false;
    if (!WaitFor(sock.get(), true, end))
        return false;
    int error = 0;
    int len = sizeof error;
    if (getsockopt(sock.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0 ||
        error != 0)
        return false;
    // A name no NetBIOS registers; the tick keeps two probes apart in a log.
    std::string called = "LVPROBE" + std::to_string(GetTickCount() % 100000000);
    std::string request = SessionRequest(EncodeNetBiosName(called, kSuffixMessenger),
                                         EncodeNetBiosName("LUMIVALE", kSuffixWorkstation));
    if (send(sock.get(), request.data(), static_cast<int>(request.size()), 0) !=
        static_cast<int>(request.size()))
        return false;
    char reply[4];
    size_t got = 0;
    while (got < sizeof reply) {
        if (!WaitFor(sock.get(), false, end))
            return false;
        int n = recv(sock.get(), reply + got, static_cast<int>(sizeof reply - got), 0);
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    return static_cast<uint8_t>(reply[0]) == session::kPositive;
}

std::vector<uint32_t> ArrivalAddresses(const ServiceConfig& config) {
    uint32_t configured = ParseIpv4(config.address).value_or(0);
    if (configured != 0)
        return {configured};
    std::vector<uint32_t> result;
    char name[256] = {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (WinsockReady() && gethostname(name, sizeof name - 1) == 0 &&
        getaddrinfo(name, nullptr, &hints, &found) == 0) {
        for (addrinfo* a = found; a; a = a->ai_next) {
            uint32_t address = ntohl(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
            if (std::find(result.begin(), result.end(), address) == result.end())
                result.push_back(address);
        }
        freeaddrinfo(found);
    }
    // Loopback last: a report names the first address not reached, and the one peers use
    // tells the user more than 127.0.0.1.
    if (std::find(result.begin(), result.end(), kLoopback) == result.end())
        result.push_back(kLoopback);
    return result;
}

int BindError(uint32_t address, uint16_t port) {
    if (!WinsockReady())
        return WSANOTINITIALISED;
    Socket sock;
    if (sock.get() == INVALID_SOCKET)
        return WSAGetLastError();
    // As msgsvc.exe binds: what it would be refused, we are refused.
    BOOL on = TRUE;
    setsockopt(sock.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
               sizeof on);
    sockaddr_in sin = Address(address, port);
    if (bind(sock.get(), reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0)
        return WSAGetLastError();
    return 0;
}

PortFacts ProbePort(const std::vector<uint32_t>& addresses, uint32_t configured, uint16_t port,
                    bool classify) {
    PortFacts facts;
    facts.port = port;
    for (uint32_t address : addresses) {
        // Every address is the machine's own: an answer takes milliseconds.
        if (MessengerAnswers(address, port, 500))
            continue;
        facts.reached = false;
        facts.address = FormatIpv4(address);
        if (classify) {
            int error = BindError(configured, port);
            facts.reason = error == 0 ? why::kOtherHolder : error;
        }
        break;
    }
    return facts;
}

} // namespace lv::messenger
