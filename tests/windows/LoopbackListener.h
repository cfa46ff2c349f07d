#pragma once
// A loopback listener on 127.0.0.1 with a port of the system's choosing, for the tests of
// the sending side. Each accepted connection goes to `serve`, one at a time, on the
// listener's own thread. Everything is bounded: the thread stops when asked or after 20 s.
#include "messenger/Receiver.h"

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace lvtest {

// Whether S has something to read (a connection to accept, bytes, or the peer's close)
// within `micros` microseconds.
inline bool Readable(SOCKET s, long micros) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval tv{micros / 1000000, micros % 1000000};
    return select(0, &readable, nullptr, nullptr, &tv) > 0;
}

class LoopbackListener {
  public:
    using Serve = std::function<void(SOCKET, const std::atomic<bool>& stop)>;

    explicit LoopbackListener(Serve serve) : serve_(std::move(serve)) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        sock_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(sock_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(sock_, 16);
        int len = sizeof addr;
        getsockname(sock_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;
    ~LoopbackListener() {
        stop_ = true;
        thread_.join();
        closesocket(sock_);
        WSACleanup();
    }
    uint16_t port() const { return port_; }
    int accepted() const { return accepted_; }

  private:
    void Run() {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!stop_ && std::chrono::steady_clock::now() < end) {
            if (!Readable(sock_, 20000))
                continue;
            SOCKET peer = accept(sock_, nullptr, nullptr);
            if (peer == INVALID_SOCKET)
                continue;
            ++accepted_;
            serve_(peer, stop_);
            closesocket(peer);
        }
    }

    Serve serve_;
    SOCKET sock_ = INVALID_SOCKET;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

// Serves a connection as a Messenger service does: a Receiver until the peer closes, the
// session ends, or 10 s pass. `onMessage` says whether the message is taken.
inline LoopbackListener::Serve
ReceiverServe(std::function<bool(const lv::messenger::Message&)> onMessage,
              lv::messenger::ReceiverLimits limits = {}) {
    return [onMessage, limits](SOCKET peer, const std::atomic<bool>& stop) {
        lv::messenger::Receiver receiver(onMessage, limits);
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!stop && std::chrono::steady_clock::now() < end) {
            if (!Readable(peer, 20000))
                continue;
            char buffer[2048];
            int n = recv(peer, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            std::string reply;
            bool open = receiver.Feed(std::string_view(buffer, static_cast<size_t>(n)), reply);
            if (!reply.empty())
                send(peer, reply.data(), static_cast<int>(reply.size()), 0);
            if (!open)
                return;
        }
    };
}

// Serves as Windows' own NetBIOS does on 139 with no messenger behind it: the session
// request gets a negative answer ("called name not present").
inline auto NetBiosWithoutMessenger() {
    return [](SOCKET peer, const std::atomic<bool>&) {
        char buffer[256];
        if (Readable(peer, 2000000) && recv(peer, buffer, sizeof buffer, 0) > 0)
            send(peer, "\x83\0\0\x01\x82", 5, 0);
    };
}

} // namespace lvtest
