#include "messenger/NetMessage.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "framework/Files.h"
#include "framework/Gbk.h"
#include "framework/Ipv4.h"
#include "messenger/Sender.h"
#include "messenger/Settings.h"
#include "messenger/TcpSocket.h"
#include "messenger/Winsock.h"

namespace lv::messenger {
namespace {

using Socket = TcpSocket;

timeval Timeval(unsigned ms) {
    timeval tv;
    tv.tv_sec = static_cast<long>(ms / 1000);
    tv.tv_usec = static_cast<long>((ms % 1000) * 1000);
    return tv;
}

std::optional<sockaddr_in> Resolve(const std::wstring& host, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    // An address by the one rule (framework/Ipv4.h); digits and dots that break it are no
    // computer name either, and the name lookup would read them the inet_addr way.
    std::string ascii;
    for (wchar_t c : host)
        ascii += c < 0x80 ? static_cast<char>(c) : '?';
    if (std::optional<uint32_t> address = ParseIpv4(ascii)) {
        addr.sin_addr.s_addr = htonl(*address);
        return addr;
    }
    if (LooksNumeric(ascii))
        return std::nullopt;
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    if (GetAddrInfoW(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    addr.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    FreeAddrInfoW(found);
    return addr;
}

// A non-blocking connect bounded by `timeoutMs`, so a dead address fails quickly instead
// of after the system's long SYN retries. The socket is blocking again afterwards.
bool Connect(const Socket& sock, const sockaddr_in& addr, unsigned timeoutMs) {
    u_long nonBlocking = 1;
    if (ioctlsocket(sock.get(), FIONBIO, &nonBlocking) != 0)
        return false;
    if (connect(sock.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            return false;
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(sock.get(), &writable);
        FD_SET(sock.get(), &failed);
        timeval tv = Timeval(timeoutMs);
        if (select(0, nullptr, &writable, &failed, &tv) <= 0 || FD_ISSET(sock.get(), &failed))
            return false;
        int error = 0;
        int len = sizeof error;
        if (getsockopt(sock.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) !=
                0 ||
            error != 0)
            return false;
    }
    nonBlocking = 0;
    return ioctlsocket(sock.get(), FIONBIO, &nonBlocking) == 0;
}

bool SendAll(const Socket& sock, std::string_view bytes) {
    while (!bytes.empty()) {
        int n = send(sock.get(), bytes.data(), static_cast<int>(bytes.size()), 0);
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Some bytes from the peer within `timeoutMs`; empty on timeout, close or error.
std::string Receive(const Socket& sock, unsigned timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(sock.get(), &readable);
    timeval tv = Timeval(timeoutMs);
    if (select(0, &readable, nullptr, nullptr, &tv) <= 0)
        return {};
    char buffer[4096];
    int n = recv(sock.get(), buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size))
        return "LUMIVALE";
    return ToGbk(std::wstring_view(name, size));
}

// One connection's worth of the conversation on `sock`, connected; the sender says whether
// to go again. The per-reply wait restarts with every piece that arrives, so `deadline`
// (GetTickCount64) also bounds a peer that drips its answers a byte at a time. The first
// reply is waited for at most `firstReplyMs`.
Sender::Step Talk(Sender& sender, const Socket& sock, const SendOptions& options,
                  ULONGLONG deadline, unsigned firstReplyMs) {
    std::string out = sender.Connected();
    unsigned replyMs = firstReplyMs;
    while (true) {
        if (!out.empty() && !SendAll(sock, out)) {
            sender.Fail(status::kNetworkError);
            return Sender::Step::kDone;
        }
        out.clear();
        ULONGLONG now = GetTickCount64();
        unsigned wait = now >= deadline ? 0
                                        : static_cast<unsigned>(
                                              std::min<ULONGLONG>(deadline - now, replyMs));
        replyMs = options.replyTimeoutMs;
        std::string in = wait ? Receive(sock, wait) : std::string();
        if (in.empty()) {
            sender.Fail(status::kNetworkError);
            return Sender::Step::kDone;
        }
        Sender::Step step = sender.Feed(in, out);
        if (step != Sender::Step::kWait)
            return step;
    }
}

Sender::Step Converse(Sender& sender, const sockaddr_in& addr, const SendOptions& options,
                      ULONGLONG deadline) {
    Socket sock;
    if (!sock.valid() || !Connect(sock, addr, options.connectTimeoutMs)) {
        sender.Fail(status::kNetworkError);
        return Sender::Step::kDone;
    }
    return Talk(sender, sock, options, deadline, options.replyTimeoutMs);
}

// The whole conversation at one address and port: on `first` when it is given (connected),
// then at most one new connection for the retry under *SMBSERVER after a negative answer.
void Deliver(Sender& sender, const sockaddr_in& addr, const SendOptions& options,
             ULONGLONG deadline, const Socket* first, unsigned firstReplyMs) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        Sender::Step step = attempt == 0 && first
                                ? Talk(sender, *first, options, deadline, firstReplyMs)
                                : Converse(sender, addr, options, deadline);
        if (step != Sender::Step::kReconnect)
            break;
    }
    if (!sender.Done())
        sender.Fail(status::kNameNotFound);
}

enum class Link { kPending, kUp, kDown };

// Starts a connect without waiting for it.
Link StartConnect(const Socket& sock, const sockaddr_in& addr) {
    u_long nonBlocking = 1;
    if (!sock.valid() || ioctlsocket(sock.get(), FIONBIO, &nonBlocking) != 0)
        return Link::kDown;
    if (connect(sock.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
        return Link::kUp;
    return WSAGetLastError() == WSAEWOULDBLOCK ? Link::kPending : Link::kDown;
}

// A started connect that select() has reported on: up (and blocking again) or down.
Link Settle(const Socket& sock, bool failed) {
    int error = 0;
    int len = sizeof error;
    u_long blocking = 0;
    if (failed ||
        getsockopt(sock.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0 ||
        error != 0 || ioctlsocket(sock.get(), FIONBIO, &blocking) != 0)
        return Link::kDown;
    return Link::kUp;
}

// Waits for the pending connects in `links` until `timeoutMs` has passed or `enough` says
// the answers so far will do.
template <size_t N, class Enough>
void AwaitConnects(const Socket* const (&socks)[N], Link (&links)[N], unsigned timeoutMs,
                   Enough enough) {
    ULONGLONG end = GetTickCount64() + timeoutMs;
    while (true) {
        ULONGLONG now = GetTickCount64();
        if (now >= end || enough(now, end))
            return;
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        bool any = false;
        for (size_t i = 0; i < N; ++i) {
            if (links[i] == Link::kPending) {
                FD_SET(socks[i]->get(), &writable);
                FD_SET(socks[i]->get(), &failed);
                any = true;
            }
        }
        if (!any)
            return;
        timeval tv = Timeval(static_cast<unsigned>(end - now));
        if (select(0, nullptr, &writable, &failed, &tv) <= 0)
            return;
        for (size_t i = 0; i < N; ++i) {
            if (links[i] == Link::kPending && (FD_ISSET(socks[i]->get(), &writable) ||
                                               FD_ISSET(socks[i]->get(), &failed)))
                links[i] = Settle(*socks[i], FD_ISSET(socks[i]->get(), &failed));
        }
    }
}

// When the port answers as a peer on the fallback also does, this long at most for the
// port's first reply: a program that takes the connection and never answers (NetBIOS with
// nothing behind it) must not hold the message up for the whole reply time.
constexpr unsigned kFirstReplyWithFallbackMs = 2000;
// Once the fallback has connected, the port gets this much longer to connect: a 139 that a
// firewall drops silently would otherwise cost every send the whole connect timeout.
constexpr unsigned kPortGraceMs = 500;

// The port and the fallback are connected to at once, so that a dead address costs one
// connect timeout as it always did. The port is used when it connects; when what answers
// there does not take the message as a messenger would (refused, NetBIOS without a
// messenger behind it, silence) and no end of the message went out, it goes once more on
// the fallback, still within `deadline`.
void DeliverWithFallback(Sender& sender, const SendRequest& request, const sockaddr_in& addr,
                         const SendOptions& options, ULONGLONG deadline, uint32_t& result) {
    sockaddr_in second = addr;
    second.sin_port = htons(options.fallbackPort);
    Socket portSock, fallbackSock;
    const Socket* const socks[2] = {&portSock, &fallbackSock};
    Link links[2] = {StartConnect(portSock, addr), StartConnect(fallbackSock, second)};
    ULONGLONG graceEnd = 0;
    AwaitConnects(socks, links, options.connectTimeoutMs, [&](ULONGLONG now, ULONGLONG& end) {
        if (links[0] != Link::kPending)
            return links[0] == Link::kUp || links[1] != Link::kPending;
        if (links[1] == Link::kUp && graceEnd == 0) {
            graceEnd = now + kPortGraceMs;
            end = std::min(end, graceEnd);
        }
        return false;
    });
    if (links[0] == Link::kUp) {
        bool fallbackLikely = links[1] != Link::kDown;
        Deliver(sender, addr, options, deadline, &portSock,
                fallbackLikely ? std::min(options.replyTimeoutMs, kFirstReplyWithFallbackMs)
                               : options.replyTimeoutMs);
        result = sender.Status();
        if (!fallbackLikely || sender.EndSent() ||
            (result != status::kNetworkError && result != status::kNameNotFound))
            return;
        if (links[1] == Link::kPending) {
            ULONGLONG now = GetTickCount64();
            unsigned left = now >= deadline ? 0 : static_cast<unsigned>(std::min<ULONGLONG>(
                                                      deadline - now, options.connectTimeoutMs));
            const Socket* const rest[1] = {&fallbackSock};
            Link restLinks[1] = {links[1]};
            AwaitConnects(rest, restLinks, left, [](ULONGLONG, ULONGLONG&) { return false; });
            links[1] = restLinks[0];
        }
    }
    if (links[1] != Link::kUp) {
        if (links[0] != Link::kUp)
            result = status::kNetworkError;
        return;
    }
    SendRequest again = request;
    again.sessionRequest = options.fallbackPort == kDefaultPort;
    Sender retry(std::move(again));
    SendOptions fallbackOptions = options;
    fallbackOptions.port = options.fallbackPort;
    Deliver(retry, second, fallbackOptions, deadline, &fallbackSock, options.replyTimeoutMs);
    result = retry.Status();
}

} // namespace

unsigned long NetMessageBufferSendWith(const SendOptions& options, const wchar_t* msgname,
                                       const wchar_t* fromname, const unsigned char* buf,
                                       unsigned long buflen) {
    if (!msgname || !*msgname || (!buf && buflen != 0))
        return status::kInvalidParameter;
    // The buffer need not be aligned for wchar_t: copy it out unit by unit.
    std::wstring text;
    for (unsigned long i = 0; i + 1 < buflen; i += 2) {
        wchar_t unit;
        std::memcpy(&unit, buf + i, sizeof unit);
        if (unit == L'\0')
            break;
        text += unit;
    }
    std::wstring recipient(msgname);
    std::string ourName = ComputerName();
    SendRequest request;
    request.from = (fromname && *fromname) ? ToGbk(fromname) : ourName;
    request.to = ToGbk(recipient);
    request.text = ToGbk(text);
    request.sessionRequest = options.sessionRequest;
    request.callingName = ourName;
    Sender sender(request);
    if (sender.Done())
        return sender.Status();

    if (!WinsockReady())
        return status::kNetworkError;
    std::optional<sockaddr_in> addr = Resolve(recipient, options.port);
    if (!addr)
        return status::kNameNotFound;
    // Every connection and reply of the send, the fallback's included, within this.
    ULONGLONG deadline = GetTickCount64() + SendDeadlineMs(options);
    if (options.fallbackPort != 0 && options.fallbackPort != options.port) {
        uint32_t result = status::kNetworkError;
        DeliverWithFallback(sender, request, *addr, options, deadline, result);
        return result;
    }
    Deliver(sender, *addr, options, deadline, nullptr, options.replyTimeoutMs);
    return sender.Status();
}

unsigned long long SendDeadlineMs(const SendOptions& options) {
    return 2ull * options.connectTimeoutMs + 4ull * options.replyTimeoutMs;
}

SendOptions SendOptionsFromFile(const std::wstring& iniPath) {
    // No file, or one too large to be ours: every value at its default.
    std::string bytes = ReadWholeFile(iniPath, 1u << 20).value_or(std::string());
    SendOptions options;
    MessengerSettings where = ReadMessengerSettings(bytes);
    options.port = where.port;
    options.sessionRequest = options.port == kDefaultPort;
    options.fallbackPort = where.fallbackPort;
    return options;
}

std::wstring SettingsFileBesideExe() {
    return ExecutableDirectory() + L"msgsvc.ini";
}

} // namespace lv::messenger

unsigned long NetMessageBufferSend(const wchar_t* servername, const wchar_t* msgname,
                                   const wchar_t* fromname, const unsigned char* buf,
                                   unsigned long buflen) {
    using namespace lv::messenger;
    if (servername && *servername)
        return status::kNotSupported;
    return NetMessageBufferSendWith(SendOptionsFromFile(SettingsFileBesideExe()), msgname, fromname,
                                    buf, buflen);
}
