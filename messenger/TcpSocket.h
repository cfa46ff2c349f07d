#pragma once
// Not in Winsock.h: that one is included before msgsvc's Listener sets FD_SETSIZE, which
// must come before the first <winsock2.h>.
#include <winsock2.h>

namespace lv::messenger {

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
