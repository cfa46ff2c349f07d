#include "messenger/NetMessage.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <vector>
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

enum class Found { kAddresses, kNoAddress, kTimedOut, kNotAName };

struct Lookup {
    Found found = Found::kNoAddress;
    std::vector<uint32_t> addresses; // in the resolver's order, each once
};

// A name lookup on a thread of its own, so that the send can stop waiting for it at its
// deadline: GetAddrInfoW cannot be cancelled. Whoever lets go of it last frees it.
struct LookupJob {
    std::wstring host;
    std::vector<uint32_t> addresses;
    HANDLE done = nullptr;
    std::atomic<int> holders{2};
};

void Release(LookupJob* job) {
    if (--job->holders == 0) {
        CloseHandle(job->done);
        delete job;
    }
}

DWORD WINAPI LookupProc(void* param) {
    auto* job = static_cast<LookupJob*>(param);
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    if (GetAddrInfoW(job->host.c_str(), nullptr, &hints, &found) == 0) {
        for (const ADDRINFOW* e = found; e; e = e->ai_next) {
            if (e->ai_family != AF_INET || !e->ai_addr)
                continue;
            uint32_t a = ntohl(reinterpret_cast<const sockaddr_in*>(e->ai_addr)->sin_addr.s_addr);
            if (std::find(job->addresses.begin(), job->addresses.end(), a) == job->addresses.end())
                job->addresses.push_back(a);
        }
        FreeAddrInfoW(found);
    }
    SetEvent(job->done);
    Release(job);
    return 0;
}

Lookup Resolve(const std::wstring& host, ULONGLONG deadline) {
    Lookup result;
    // An address by the one rule (framework/Ipv4.h); digits and dots that break it are no
    // computer name either, and the name lookup would read them the inet_addr way.
    std::string ascii;
    for (wchar_t c : host)
        ascii += c < 0x80 ? static_cast<char>(c) : '?';
    if (std::optional<uint32_t> address = ParseIpv4(ascii)) {
        result.found = Found::kAddresses;
        result.addresses.push_back(*address);
        return result;
    }
    if (LooksNumeric(ascii)) {
        result.found = Found::kNotAName;
        return result;
    }
    auto* job = new LookupJob;
    job->host = host;
    job->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = job->done ? CreateThread(nullptr, 0, LookupProc, job, 0, nullptr) : nullptr;
    if (!thread) {
        if (job->done)
            CloseHandle(job->done);
        delete job;
        result.found = Found::kTimedOut;
        return result;
    }
    CloseHandle(thread);
    ULONGLONG now = GetTickCount64();
    DWORD wait =
        now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1));
    if (WaitForSingleObject(job->done, wait) != WAIT_OBJECT_0) {
        result.found = Found::kTimedOut;
    } else {
        result.addresses = job->addresses;
        result.found = result.addresses.empty() ? Found::kNoAddress : Found::kAddresses;
    }
    Release(job);
    return result;
}

// kDown: no answer in time, unreachable, or a local failure; kRefused: the computer said
// nothing listens there.
enum class Link { kPending, kUp, kRefused, kDown };

SendResult ConnectFailure(Link link) {
    SendResult r;
    r.status = status::kNetworkError;
    r.failure = link == Link::kRefused ? SendFailure::kRefused : SendFailure::kNoAnswer;
    return r;
}

// Starts a connect without waiting for it.
Link StartConnect(const Socket& sock, const sockaddr_in& addr) {
    u_long nonBlocking = 1;
    if (!sock.valid() || ioctlsocket(sock.get(), FIONBIO, &nonBlocking) != 0)
        return Link::kDown;
    if (connect(sock.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
        u_long blocking = 0;
        return ioctlsocket(sock.get(), FIONBIO, &blocking) == 0 ? Link::kUp : Link::kDown;
    }
    int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK    ? Link::kPending
           : error == WSAECONNREFUSED ? Link::kRefused
                                      : Link::kDown;
}

// A started connect that select() has reported on: up (and blocking again), refused or down.
Link Settle(const Socket& sock, bool failed) {
    int error = 0;
    int len = sizeof error;
    if (getsockopt(sock.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0)
        return Link::kDown;
    if (error == WSAECONNREFUSED)
        return Link::kRefused;
    u_long blocking = 0;
    if (failed || error != 0 || ioctlsocket(sock.get(), FIONBIO, &blocking) != 0)
        return Link::kDown;
    return Link::kUp;
}

// A non-blocking connect bounded by `timeoutMs`, so a dead address fails quickly instead
// of after the system's long SYN retries. The socket is blocking again afterwards.
Link Connect(const Socket& sock, const sockaddr_in& addr, unsigned timeoutMs) {
    Link link = StartConnect(sock, addr);
    if (link != Link::kPending)
        return link;
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(sock.get(), &writable);
    FD_SET(sock.get(), &failed);
    timeval tv = Timeval(timeoutMs);
    if (select(0, nullptr, &writable, &failed, &tv) <= 0)
        return Link::kDown;
    return Settle(sock, FD_ISSET(sock.get(), &failed));
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

// Some bytes from the peer within `timeoutMs`; empty on timeout, close or error (`closed`
// then says which).
std::string Receive(const Socket& sock, unsigned timeoutMs, bool& closed) {
    closed = false;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(sock.get(), &readable);
    timeval tv = Timeval(timeoutMs);
    if (select(0, &readable, nullptr, nullptr, &tv) <= 0)
        return {};
    char buffer[4096];
    int n = recv(sock.get(), buffer, sizeof buffer, 0);
    closed = n <= 0;
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
            sender.Fail(status::kNetworkError, SendFailure::kClosed);
            return Sender::Step::kDone;
        }
        out.clear();
        ULONGLONG now = GetTickCount64();
        unsigned wait = now >= deadline
                            ? 0
                            : static_cast<unsigned>(std::min<ULONGLONG>(deadline - now, replyMs));
        replyMs = options.replyTimeoutMs;
        bool closed = false;
        std::string in = wait ? Receive(sock, wait, closed) : std::string();
        if (in.empty()) {
            sender.Fail(status::kNetworkError,
                        closed ? SendFailure::kClosed : SendFailure::kNoReply);
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
    Link link = sock.valid() ? Connect(sock, addr, options.connectTimeoutMs) : Link::kDown;
    if (link != Link::kUp) {
        sender.Fail(status::kNetworkError, ConnectFailure(link).failure);
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
        sender.Fail(status::kNameNotFound, SendFailure::kNotMessenger);
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
            if (links[i] == Link::kPending &&
                (FD_ISSET(socks[i]->get(), &writable) || FD_ISSET(socks[i]->get(), &failed)))
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
SendResult DeliverWithFallback(const SendRequest& request, const sockaddr_in& addr,
                               const SendOptions& options, ULONGLONG deadline, bool& endSent) {
    Sender sender(request);
    std::vector<SendResult> tries;
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
        bool fallbackLikely = links[1] == Link::kPending || links[1] == Link::kUp;
        Deliver(sender, addr, options, deadline, &portSock,
                fallbackLikely ? std::min(options.replyTimeoutMs, kFirstReplyWithFallbackMs)
                               : options.replyTimeoutMs);
        tries.push_back(sender.Result());
        endSent = sender.EndSent();
        uint32_t result = sender.Status();
        if (!fallbackLikely || endSent ||
            (result != status::kNetworkError && result != status::kNameNotFound)) {
            if (!fallbackLikely)
                tries.push_back(ConnectFailure(links[1]));
            return AtAddress(tries);
        }
        if (links[1] == Link::kPending) {
            ULONGLONG now = GetTickCount64();
            unsigned left = now >= deadline ? 0
                                            : static_cast<unsigned>(std::min<ULONGLONG>(
                                                  deadline - now, options.connectTimeoutMs));
            const Socket* const rest[1] = {&fallbackSock};
            Link restLinks[1] = {links[1]};
            AwaitConnects(rest, restLinks, left, [](ULONGLONG, ULONGLONG&) { return false; });
            links[1] = restLinks[0] == Link::kPending ? Link::kDown : restLinks[0];
        }
    } else {
        tries.push_back(ConnectFailure(links[0] == Link::kPending ? Link::kDown : links[0]));
    }
    if (links[1] != Link::kUp) {
        tries.push_back(ConnectFailure(links[1] == Link::kPending ? Link::kDown : links[1]));
        return AtAddress(tries);
    }
    SendRequest again = request;
    again.sessionRequest = options.fallbackPort == kDefaultPort;
    Sender retry(std::move(again));
    SendOptions fallbackOptions = options;
    fallbackOptions.port = options.fallbackPort;
    Deliver(retry, second, fallbackOptions, deadline, &fallbackSock, options.replyTimeoutMs);
    endSent = retry.EndSent();
    tries.push_back(retry.Result());
    return AtAddress(tries);
}

thread_local SendResult tlLastResult;

} // namespace

SendResult NetMessageSend(const SendOptions& options, const wchar_t* msgname,
                          const wchar_t* fromname, const unsigned char* buf, unsigned long buflen) {
    // Every lookup, connection and reply of the send, the fallback's included, within this.
    const ULONGLONG deadline = GetTickCount64() + SendDeadlineMs(options);
    const bool withFallback = options.fallbackPort != 0 && options.fallbackPort != options.port;
    auto done = [&](SendResult r) {
        r.port = options.port;
        r.fallbackPort = withFallback ? options.fallbackPort : 0;
        tlLastResult = r;
        return r;
    };
    if (!msgname || !*msgname || (!buf && buflen != 0))
        return done({status::kInvalidParameter, SendFailure::kBadArgument});
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
    {
        Sender check(request);
        if (check.Done())
            return done(check.Result());
    }

    if (!WinsockReady())
        return done({status::kNetworkError, SendFailure::kLocalError});
    Lookup lookup = Resolve(recipient, deadline);
    switch (lookup.found) {
    case Found::kNotAName:
        return done({status::kNameNotFound, SendFailure::kBadAddress});
    case Found::kNoAddress:
        return done({status::kNameNotFound, SendFailure::kNameNotFound});
    case Found::kTimedOut:
        return done({status::kNameNotFound, SendFailure::kLookupTimeout});
    case Found::kAddresses:
        break;
    }
    // Each address in the resolver's order until one takes the message; never on after one
    // may have shown it.
    std::vector<SendResult> tried;
    for (uint32_t address : lookup.addresses) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            break;
        SendOptions here = options;
        here.connectTimeoutMs =
            static_cast<unsigned>(std::min<ULONGLONG>(options.connectTimeoutMs, deadline - now));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(options.port);
        addr.sin_addr.s_addr = htonl(address);
        bool endSent = false;
        SendResult result;
        if (withFallback) {
            result = DeliverWithFallback(request, addr, here, deadline, endSent);
        } else {
            Sender sender(request);
            Deliver(sender, addr, here, deadline, nullptr, options.replyTimeoutMs);
            endSent = sender.EndSent();
            result = sender.Result();
        }
        if (result.status == status::kSuccess)
            return done(result);
        tried.push_back(result);
        if (endSent)
            break;
    }
    return done(AcrossAddresses(tried));
}

SendResult LastSendResult() {
    return tlLastResult;
}

void ForgetLastSendResult() {
    tlLastResult = SendResult{};
}

unsigned long NetMessageBufferSendWith(const SendOptions& options, const wchar_t* msgname,
                                       const wchar_t* fromname, const unsigned char* buf,
                                       unsigned long buflen) {
    return NetMessageSend(options, msgname, fromname, buf, buflen).status;
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
    if (servername && *servername) {
        ForgetLastSendResult();
        return status::kNotSupported;
    }
    return NetMessageBufferSendWith(SendOptionsFromFile(SettingsFileBesideExe()), msgname, fromname,
                                    buf, buflen);
}
