#pragma once
// Winsock for the whole process, started on first use and never stopped: the sender's
// workers and msgsvc's network thread use sockets until the process ends, and a
// WSACleanup while another thread still held one would break it.
#include <winsock2.h>

namespace lv::messenger {

// Any thread. True once WSAStartup has succeeded (it is tried only once).
bool WinsockReady();

// A TCP socket of our own, closed when it goes.
class TcpSocket {
  public:
    TcpSocket() : s_(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {}
    ~TcpSocket() {
        if (s_ != INVALID_SOCKET)
            closesocket(s_);
    }
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;
    SOCKET get() const { return s_; }
    bool valid() const { return s_ != INVALID_SOCKET; }

  private:
    SOCKET s_;
};

} // namespace lv::messenger
