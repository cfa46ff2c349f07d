#include "send/SendFailureText.h"

namespace lv {
namespace {

using messenger::SendFailure;
using messenger::SendPhase;
using messenger::SendResult;

// NetMessageBufferSend's statuses, for a send that gave no finer reason.
constexpr uint32_t kInvalidParameter = 87;
constexpr uint32_t kNameNotFound = 2273;
constexpr uint32_t kPausedRemote = 2281;
constexpr uint32_t kBadReceive = 2282;
// ERRSRV and ERRDOS codes a messenger answers (DOS form: class, 0, code).
constexpr uint8_t kErrDos = 1, kErrSrv = 2;
constexpr uint16_t kErrNotAccepted = 71, kErrPaused = 81, kErrMsgOff = 82, kErrNoRoom = 83;

// The messenger ports to open in the peer's firewall: the fallback first, as Lumivale
// peers receive there.
std::string Ports(const SendResult& r) {
    if (r.port == 0)
        return "1139和139";
    if (r.fallbackPort == 0 || r.fallbackPort == r.port)
        return std::to_string(r.port);
    return std::to_string(r.fallbackPort) + "和" + std::to_string(r.port);
}

std::string Quoted(std::string_view address) {
    return "“" + std::string(address) + "”";
}

std::string FirewallFix(const SendResult& r) {
    return "对方的防火墙要允许msgsvc.exe接收TCP端口" + Ports(r) +
           "的连接（对方重新运行Lumivale安装程序，勾选“允许Lumivale通过Windows防火墙接收信息”）。";
}

std::string PeerRefusal(const SendResult& r) {
    const uint8_t errClass = static_cast<uint8_t>(r.smbStatus & 0xFF);
    const uint16_t code = static_cast<uint16_t>(r.smbStatus >> 16);
    const bool names = r.phase == SendPhase::kNames;
    if (!r.ntStatus && errClass == kErrSrv && code == kErrPaused)
        return "对方的信使服务暂停了，暂时不收信息：请稍后再发。";
    if (!r.ntStatus && errClass == kErrSrv && code == kErrMsgOff)
        return "对方的信使服务不收信息（信息接收被关掉了）：请用别的方式联系对方。";
    if (!r.ntStatus && ((errClass == kErrSrv && code == kErrNoRoom) ||
                        (errClass == kErrDos && code == kErrNotAccepted))) {
        if (names)
            return "对方不接受这个发送者名或收信人名（可能太长）：请在“设”里把发送者名改短，"
                   "或者改用对方的IPv4地址。";
        if (code == kErrNoRoom)
            return kNotTakenText;
        return "对方不接受这条信息的内容：请改一改内容，或者分成几条短一些的发。";
    }
    char hex[16];
    static const char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; i < 8; ++i)
        hex[i] = kDigits[(r.smbStatus >> (28 - 4 * i)) & 0xF];
    hex[8] = '\0';
    return "对方的信使服务拒绝了这条信息（错误代码0x" + std::string(hex) + "）。";
}

} // namespace

std::string SendFailureLine(const SendResult& result, std::string_view address, size_t textBytes) {
    if (result.status == 0)
        return {};
    SendResult r = result;
    if (r.failure == SendFailure::kNone) {
        // No finer reason came with the status: what the status alone says.
        switch (r.status) {
        case kInvalidParameter:
            r.failure = SendFailure::kBadArgument;
            break;
        case kNameNotFound:
            r.failure = SendFailure::kNotMessenger;
            break;
        case kPausedRemote:
            r.failure = SendFailure::kPeerRefused;
            r.smbStatus = kErrSrv | (kErrPaused << 16);
            break;
        case kBadReceive:
            r.failure = SendFailure::kPeerRefused;
            r.smbStatus = kErrSrv | (kErrNoRoom << 16);
            r.phase = SendPhase::kText;
            break;
        default:
            return "网络出错，信息没有发出（错误代码" + std::to_string(r.status) + "）。";
        }
    }
    switch (r.failure) {
    case SendFailure::kBadArgument:
        if (textBytes > 4096)
            return kTooLongText;
        if (address.empty())
            return "没有填写对方的地址（IPv4地址或计算机名），信息没有发出。";
        return "信息或地址有误，没有发出。";
    case SendFailure::kLocalError:
        return "本机的网络用不了（Windows Sockets没有启动），信息没有发出。";
    case SendFailure::kBadAddress:
        return "找不到计算机名" + Quoted(address) +
               "：这不是IPv4地址（用点隔开的四个0到255的数，例如192.168.0.7），"
               "只有数字和点的也不能是计算机名。请改正地址。";
    case SendFailure::kNameNotFound:
        return "找不到计算机名" + Quoted(address) +
               "：请检查名字是否写对，或者改用对方的IPv4地址（在对方电脑上运行ipconfig可以看到）。";
    case SendFailure::kLookupTimeout:
        return "找不到计算机名" + Quoted(address) +
               "：查询这个名字超时了。请检查名字是否写对，或者改用对方的IPv4地址"
               "（在对方电脑上运行ipconfig可以看到）。";
    case SendFailure::kNoAnswer:
        if (r.computerOn)
            return "对方没有应答：对方电脑开着，但信使端口没有回应，多半是防火墙挡住了连接，"
                   "或者对方没有运行Lumivale。请对方启动Lumivale；" +
                   FirewallFix(r);
        return "对方没有应答：对方电脑可能没有开机、不在这个网络上，或者防火墙挡住了连接。"
               "请确认对方开着机、在同一个网络上；" +
               FirewallFix(r);
    case SendFailure::kRefused:
        return kRefusedText;
    case SendFailure::kNotMessenger:
        return "对方电脑应答了，但应答的不是信使服务（可能是Windows的文件共享或别的程序）："
               "请对方启动Lumivale；两边的msgsvc.ini如果设置了Port=，要设成一样的。";
    case SendFailure::kNoReply:
        return "对方没有应答：连接上了，但对方的程序在规定时间内没有回复"
               "（对方电脑可能太忙，或者这个端口上不是信使服务）。请稍后再发。";
    case SendFailure::kClosed:
        return "对方的信使服务断开了连接，没有收下信息：对方可能不收本机的信息"
               "（对方msgsvc.ini里的Deny=或Allow=），或者本机同时发去的信息太多。请稍后再发。";
    case SendFailure::kBroken:
        return "发送到一半连接断了，对方没有收到完整的信息：请再发一次。";
    case SendFailure::kUnconfirmed:
        return "信息已经发出，但对方没有确认收到：对方可能已经看到了，请先问问对方再决定是否重发。";
    case SendFailure::kPeerRefused:
        return PeerRefusal(r);
    default:
        return "网络出错，信息没有发出（错误代码" + std::to_string(r.status) + "）。";
    }
}

} // namespace lv
