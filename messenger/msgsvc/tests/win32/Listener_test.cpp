// The listening socket of msgsvc.exe: nobody else takes its port, and a restart gets it back
// at once even after sessions the service closed itself.
#include "messenger/Winsock.h"
#include "messenger/msgsvc/Listener.h"

#include <gtest/gtest.h>

#include <winsock2.h>

namespace {

using namespace lv::messenger;

constexpr uint16_t kPort = 1183;

// Another program binding the port: 0 when it got it, else the Winsock error.
int BindAsAnotherProgram(uint32_t address, bool reuse) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    BOOL on = TRUE;
    if (reuse)
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(kPort);
    sin.sin_addr.s_addr = htonl(address);
    int result =
        bind(s, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0 ? 0 : WSAGetLastError();
    closesocket(s);
    return result;
}

// A peer that sends what no Messenger client sends, so that the service closes first.
void SendGarbage() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(kPort);
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(s, reinterpret_cast<sockaddr*>(&sin), sizeof sin), 0);
    // A session frame of a type that does not exist.
    send(s, "\x99\x00\x00\x00", 4, 0);
    char buffer[64];
    DWORD timeout = 5000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), 0) << "the service closes the connection";
    closesocket(s);
}

TEST(Listener, NoOtherProgramBindsItsPortAndARestartGetsItBackAtOnce) {
    ASSERT_TRUE(WinsockReady());
    ServiceConfig config;
    config.address = "0.0.0.0";
    config.port = kPort;
    auto deliver = [](uint32_t, const Message&) { return true; };
    auto log = [](const std::string&) {};
    {
        Listener listener(config, deliver, log);
        std::string error;
        ASSERT_TRUE(listener.Start(error)) << error << " (port " << kPort << " taken?)";
        // With SO_REUSEADDR on our side, Windows would let both of these through and give
        // them the messages sent to 127.0.0.1.
        EXPECT_NE(BindAsAnotherProgram(INADDR_LOOPBACK, true), 0);
        EXPECT_NE(BindAsAnotherProgram(INADDR_LOOPBACK, false), 0);
        EXPECT_NE(BindAsAnotherProgram(INADDR_ANY, true), 0);
        SendGarbage();
    }
    Listener again(config, deliver, log);
    std::string error;
    EXPECT_TRUE(again.Start(error)) << error;
}

} // namespace
