#include "messenger/NetMessage.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "framework/Files.h"
#include "framework/Gbk.h"
#include "messenger/Sender.h"
#include "messenger/Settings.h"
#include "messenger/Winsock.h"

namespace lv::messenger {
namespace {

class Socket {
  public:
    Socket() : s_(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {}
    ~Socket() {
        if (s_ != INVALID_SOCKET)
            closesocket(s_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return s_; }
    bool valid() const { return s_ != INVALID_SOCKET; }

  private:
    SOCKET s_;
};

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
    if (InetPtonW(AF_INET, host.c_str(), &addr.sin_addr) == 1)
        return addr;
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

// One connection's worth of the conversation; the sender says whether to go again. The
// per-reply wait restarts with every piece that arrives, so `deadline` (GetTickCount64)
// also bounds a peer that drips its answers a byte at a time.
Sender::Step Converse(Sender& sender, const sockaddr_in& addr, const SendOptions& options,
                      ULONGLONG deadline) {
    Socket sock;
    if (!sock.valid() || !Connect(sock, addr, options.connectTimeoutMs)) {
        sender.Fail(status::kNetworkError);
        return Sender::Step::kDone;
    }
    std::string out = sender.Connected();
    while (true) {
        if (!out.empty() && !SendAll(sock, out)) {
            sender.Fail(status::kNetworkError);
            return Sender::Step::kDone;
        }
        out.clear();
        ULONGLONG now = GetTickCount64();
        unsigned wait = now >= deadline ? 0
                                        : static_cast<unsigned>(std::min<ULONGLONG>(
                                              deadline - now, options.replyTimeoutMs));
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
    Sender sender(std::move(request));
    if (sender.Done())
        return sender.Status();

    if (!WinsockReady())
        return status::kNetworkError;
    std::optional<sockaddr_in> addr = Resolve(recipient, options.port);
    if (!addr)
        return status::kNameNotFound;
    // At most two connections: the retry under *SMBSERVER after a negative answer.
    ULONGLONG deadline = GetTickCount64() + SendDeadlineMs(options);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (Converse(sender, *addr, options, deadline) != Sender::Step::kReconnect)
            break;
    }
    if (!sender.Done())
        sender.Fail(status::kNameNotFound);
    return sender.Status();
}

unsigned long long SendDeadlineMs(const SendOptions& options) {
    return 2ull * options.connectTimeoutMs + 4ull * options.replyTimeoutMs;
}

SendOptions SendOptionsFromFile(const std::wstring& iniPath) {
    // No file, or one too large to be ours: every value at its default.
    std::string bytes = ReadWholeFile(iniPath, 1u << 20).value_or(std::string());
    SendOptions options;
    options.port = ReadMessengerSettings(bytes).port;
    options.sessionRequest = options.port == kDefaultPort;
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
