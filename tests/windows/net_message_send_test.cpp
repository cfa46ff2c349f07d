#include "messenger/NetMessage.h"
#include "messenger/Receiver.h"
#include "messenger/Sender.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "framework/Gbk.h"
#include "LoopbackListener.h"

using namespace lv::messenger;
using Clock = std::chrono::steady_clock;

namespace {

using Listener = lvtest::LoopbackListener;

// A Messenger service that keeps what it receives in `got`.
Listener::Serve ReceiverServe(std::vector<Message>& got, bool accept = true) {
    return lvtest::ReceiverServe([&got, accept](const Message& m) {
        got.push_back(m);
        return accept;
    });
}

// The buffer the send window hands over: UTF-16 text, its null and 10 more bytes.
std::string WideBuffer(const std::wstring& text) {
    std::string buf(text.size() * 2 + 2 + 10, '\x7F');
    std::memcpy(buf.data(), text.c_str(), (text.size() + 1) * 2);
    return buf;
}

unsigned long SendTo(const SendOptions& options, const std::wstring& text,
                     const wchar_t* to = L"127.0.0.1") {
    std::string buf = WideBuffer(text);
    return NetMessageBufferSendWith(options, to, L"张三",
                                    reinterpret_cast<const unsigned char*>(buf.data()),
                                    static_cast<unsigned long>(buf.size()));
}

// Accepts, then never answers (for at most 8 s).
Listener::Serve SilentPeer() {
    return [](SOCKET, const std::atomic<bool>& stop) {
        auto end = Clock::now() + std::chrono::seconds(8);
        while (!stop && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
}

SendOptions Options(uint16_t port, bool session = false) {
    SendOptions o;
    o.port = port;
    o.sessionRequest = session;
    o.connectTimeoutMs = 2000;
    o.replyTimeoutMs = 1500;
    return o;
}

const std::wstring kTwoLines = L"你好，世界！\r\n第二行：Lumivale 信使服务";

} // namespace

TEST(NetMessageSend, ChineseTwoLineMessageArrivesExactly) {
    for (bool session : {false, true}) {
        std::vector<Message> got;
        {
            Listener listener(ReceiverServe(got));
            EXPECT_EQ(SendTo(Options(listener.port(), session), kTwoLines), 0u) << session;
        }
        ASSERT_EQ(got.size(), 1u) << session;
        EXPECT_EQ(got[0].sender, "张三");
        EXPECT_EQ(got[0].recipient, "127.0.0.1");
        EXPECT_EQ(got[0].text, lv::ToGbk(kTwoLines));
    }
}

TEST(NetMessageSend, LongTextArrivesInBlocksAndComputerNamesResolve) {
    std::wstring text;
    for (int i = 0; i < 60; ++i)
        text += L"第" + std::to_wstring(i) + L"行，中文\r\n";
    std::vector<Message> got;
    {
        Listener listener(ReceiverServe(got));
        EXPECT_EQ(SendTo(Options(listener.port()), text, L"localhost"), 0u);
    }
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, lv::ToGbk(text));
    EXPECT_EQ(got[0].recipient, "localhost");
}

TEST(NetMessageSend, AddressesAreReadByTheOneRuleAndNeverByTheNameLookup) {
    std::vector<Message> got;
    Listener listener(ReceiverServe(got));
    // Zero-padded fields are decimal: the lookup would have read "001" fine but "010" as 8.
    EXPECT_EQ(SendTo(Options(listener.port()), L"hi", L"127.000.000.001"), 0u);
    // Digits and dots that are no address are no computer name either.
    for (const wchar_t* bad : {L"127.1", L"127.0.0.256", L"2130706433"})
        EXPECT_EQ(SendTo(Options(listener.port()), L"hi", bad), status::kNameNotFound) << bad;
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].recipient, "127.000.000.001");
}

TEST(NetMessageSend, RefusedMessageIsAFailureStatus) {
    std::vector<Message> got;
    Listener listener(ReceiverServe(got, false));
    EXPECT_EQ(SendTo(Options(listener.port()), kTwoLines), status::kBadReceive);
}

TEST(NetMessageSend, DeadPeersFailWithinTheTimeout) {
    // A port where nothing listens: bind one, then let it go.
    uint16_t closedPort;
    {
        Listener gone([](SOCKET, const std::atomic<bool>&) {});
        closedPort = gone.port();
    }
    auto start = Clock::now();
    EXPECT_EQ(SendTo(Options(closedPort), L"hi"), status::kNetworkError);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4));

    // Accepts, then never answers.
    Listener silent(SilentPeer());
    start = Clock::now();
    EXPECT_EQ(SendTo(Options(silent.port()), L"hi"), status::kNetworkError);
    auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1000));
    EXPECT_LT(took, std::chrono::seconds(4));
    EXPECT_EQ(silent.accepted(), 1);

    // Answers with one byte at a time, each just inside the per-reply wait: the whole call
    // is still bounded.
    Listener dripping([](SOCKET peer, const std::atomic<bool>& stop) {
        auto end = Clock::now() + std::chrono::seconds(12);
        while (!stop && Clock::now() < end) {
            if (send(peer, "\x85", 1, 0) != 1)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
        }
    });
    SendOptions o = Options(dripping.port());
    o.connectTimeoutMs = 500;
    o.replyTimeoutMs = 1000;
    start = Clock::now();
    EXPECT_EQ(SendTo(o, L"hi"), status::kNetworkError);
    took = Clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(2 * 500 + 4 * 1000 + 1500));
}

TEST(NetMessageSend, NegativeSessionAnswerIsRetriedAsSmbServerThenGivenUp) {
    // Every connection is refused at the session stage.
    Listener refusing(lvtest::NetBiosWithoutMessenger());
    EXPECT_EQ(SendTo(Options(refusing.port(), true), L"hi"), status::kNameNotFound);
    EXPECT_EQ(refusing.accepted(), 2);
}

TEST(NetMessageSend, BadArgumentsAreRefusedWithoutTouchingTheNetwork) {
    std::string buf = WideBuffer(L"hi");
    auto bytes = reinterpret_cast<const unsigned char*>(buf.data());
    SendOptions o = Options(9);
    EXPECT_EQ(NetMessageBufferSendWith(o, nullptr, L"a", bytes, 4), status::kInvalidParameter);
    EXPECT_EQ(NetMessageBufferSendWith(o, L"", L"a", bytes, 4), status::kInvalidParameter);
    EXPECT_EQ(NetMessageBufferSendWith(o, L"127.0.0.1", L"a", nullptr, 4),
              status::kInvalidParameter);
    std::wstring huge(kMaxSendTextBytes + 1, L'x');
    EXPECT_EQ(SendTo(o, huge), status::kInvalidParameter);
    EXPECT_EQ(NetMessageBufferSend(L"\\\\OTHER", L"127.0.0.1", L"a", bytes, 4),
              status::kNotSupported);
}

TEST(NetMessageSend, PortComesFromTheSettingsFile) {
    wchar_t dir[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, dir), 0u);
    std::wstring path =
        std::wstring(dir) + L"lv-h1-msgsvc-" + std::to_wstring(GetCurrentProcessId()) + L".ini";
    struct Case {
        const char* content;
        uint16_t port;
        bool session;
        uint16_t fallback;
    } cases[] = {
        {"[Messenger]\r\nPort=1139\r\n", 1139, false, 0},
        {"[Messenger]\r\nAddress=127.0.0.2\r\n", 139, true, 1139},
        {"[Messenger]\r\nPort=139\r\n", 139, true, 0},
    };
    for (const Case& c : cases) {
        HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        DWORD wrote = 0;
        WriteFile(f, c.content, static_cast<DWORD>(strlen(c.content)), &wrote, nullptr);
        CloseHandle(f);
        SendOptions o = SendOptionsFromFile(path);
        EXPECT_EQ(o.port, c.port) << c.content;
        EXPECT_EQ(o.sessionRequest, c.session) << c.content;
        EXPECT_EQ(o.fallbackPort, c.fallback) << c.content;
    }
    DeleteFileW(path.c_str());
    EXPECT_EQ(SendOptionsFromFile(path).port, 139);
    EXPECT_EQ(SendOptionsFromFile(path).fallbackPort, 1139);
    std::wstring beside = SettingsFileBesideExe();
    EXPECT_TRUE(beside.size() > 10 && beside.substr(beside.size() - 11) == L"\\msgsvc.ini")
        << lv::ToGbk(beside);
}

// Whatever holds the port without being a messenger there, the message goes to the
// fallback, once; a messenger's own answer on the port is final.
TEST(NetMessageSend, FallbackPortTakesWhatThePortDoesNot) {
    std::vector<Message> got;
    Listener fallback(ReceiverServe(got));
    uint16_t closedPort, otherClosedPort;
    {
        Listener gone([](SOCKET, const std::atomic<bool>&) {});
        Listener goneToo([](SOCKET, const std::atomic<bool>&) {});
        closedPort = gone.port();
        otherClosedPort = goneToo.port();
    }
    Listener netbios(lvtest::NetBiosWithoutMessenger());
    Listener silent(SilentPeer());
    struct Case {
        const char* what;
        uint16_t port;
        bool session;
        std::chrono::milliseconds within;
    } cases[] = {
        {"refused", closedPort, false, std::chrono::milliseconds(1000)},
        {"NetBIOS without a messenger", netbios.port(), true, std::chrono::milliseconds(1500)},
        // The port's first reply is waited for 2 s when the fallback is there.
        {"silent", silent.port(), false, std::chrono::milliseconds(3000)},
    };
    for (const Case& c : cases) {
        got.clear();
        SendOptions o = Options(c.port, c.session);
        o.fallbackPort = fallback.port();
        o.replyTimeoutMs = 5000;
        auto start = Clock::now();
        EXPECT_EQ(SendTo(o, kTwoLines), 0u) << c.what;
        EXPECT_LT(Clock::now() - start, c.within) << c.what;
        ASSERT_EQ(got.size(), 1u) << c.what;
        EXPECT_EQ(got[0].text, lv::ToGbk(kTwoLines)) << c.what;
    }
    EXPECT_EQ(netbios.accepted(), 2); // the messenger name, then *SMBSERVER

    // A messenger on the port that refuses: no second copy through the fallback.
    std::vector<Message> refusedHere;
    Listener full(ReceiverServe(refusedHere, false));
    got.clear();
    SendOptions o = Options(full.port());
    o.fallbackPort = fallback.port();
    EXPECT_EQ(SendTo(o, L"hi"), status::kBadReceive);
    EXPECT_EQ(refusedHere.size(), 1u);
    EXPECT_TRUE(got.empty());

    // Nothing on either: a failure, as fast as a refusal.
    o = Options(closedPort);
    o.fallbackPort = otherClosedPort;
    auto start = Clock::now();
    EXPECT_EQ(SendTo(o, L"hi"), status::kNetworkError);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
}

// What each kind of peer makes of a send, beside the status: the reason the user is told.
TEST(NetMessageSend, EveryFailureComesWithWhyItFailed) {
    std::string buf = WideBuffer(L"hi");
    auto send = [&buf](const SendOptions& o, const wchar_t* to = L"127.0.0.1") {
        return NetMessageSend(o, to, L"张三", reinterpret_cast<const unsigned char*>(buf.data()),
                              static_cast<unsigned long>(buf.size()));
    };
    uint16_t closedPort;
    {
        Listener gone([](SOCKET, const std::atomic<bool>&) {});
        closedPort = gone.port();
    }
    SendResult r = send(Options(closedPort));
    EXPECT_EQ(r.status, status::kNetworkError);
    EXPECT_EQ(r.failure, SendFailure::kRefused);
    EXPECT_EQ(r.port, closedPort);

    // The status-only call leaves the same reason behind on this thread.
    EXPECT_EQ(SendTo(Options(closedPort), L"hi"), status::kNetworkError);
    EXPECT_EQ(LastSendResult().failure, SendFailure::kRefused);
    ForgetLastSendResult();
    EXPECT_EQ(LastSendResult().failure, SendFailure::kNone);

    Listener netbios(lvtest::NetBiosWithoutMessenger());
    EXPECT_EQ(send(Options(netbios.port(), true)).failure, SendFailure::kNotMessenger);
    // NetBIOS on the port, nothing on the fallback: no messenger runs there.
    SendOptions both = Options(netbios.port(), true);
    both.fallbackPort = closedPort;
    r = send(both);
    EXPECT_EQ(r.failure, SendFailure::kRefused);
    EXPECT_EQ(r.fallbackPort, closedPort);

    Listener silent(SilentPeer());
    EXPECT_EQ(send(Options(silent.port())).failure, SendFailure::kNoReply);
    Listener hangsUp([](SOCKET, const std::atomic<bool>&) {});
    EXPECT_EQ(send(Options(hangsUp.port())).failure, SendFailure::kClosed);

    std::vector<Message> got;
    Listener full(ReceiverServe(got, false));
    r = send(Options(full.port()));
    EXPECT_EQ(r.status, status::kBadReceive);
    EXPECT_EQ(r.failure, SendFailure::kPeerRefused);

    EXPECT_EQ(send(Options(closedPort), L"127.1").failure, SendFailure::kBadAddress);
    std::wstring nowhere = L"lv-nosuchhost-" + std::to_wstring(GetCurrentProcessId());
    r = send(Options(closedPort), nowhere.c_str());
    EXPECT_EQ(r.status, status::kNameNotFound);
    EXPECT_TRUE(r.failure == SendFailure::kNameNotFound ||
                r.failure == SendFailure::kLookupTimeout);

    Listener good(ReceiverServe(got));
    r = send(Options(good.port()), L"localhost");
    EXPECT_EQ(r.status, 0u);
    EXPECT_EQ(r.failure, SendFailure::kNone);
}
