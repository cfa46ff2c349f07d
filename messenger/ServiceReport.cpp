#include "messenger/ServiceReport.h"

#include "messenger/Settings.h"

namespace lv::messenger {

namespace {

const char kWhereTheFixIs[] =
    "解决办法见帮助（主菜单→帮助，即README.TXT“八、收不到信息怎么办”）："
    "关闭“TCP/IP上的NetBIOS”，或在每台电脑的msgsvc.ini里设置同一个其他的Port=。";

std::string Reason(const PortFacts& p) {
    // On Windows it is nearly always NetBIOS over TCP/IP that has 139.
    std::string netbios = p.port == kDefaultPort ? "（通常是Windows的“TCP/IP上的NetBIOS”）" : "";
    switch (p.reason) {
    case why::kInUse:
    case why::kOtherHolder:
        return "已被其他程序占用" + netbios;
    case why::kNoRight:
        return "没有使用权限（或被其他程序独占）";
    case why::kNoAddress:
        return "本机没有这个地址";
    case why::kNoAnswer:
        return "msgsvc.exe没有应答（可能没有运行）";
    default:
        return "出错（错误代码" + std::to_string(p.reason) + "）";
    }
}

std::string Where(const PortFacts& p) {
    std::string address = p.address == "0.0.0.0" ? "本机所有地址" : "地址" + p.address;
    return "端口" + std::to_string(p.port) + "（" + address + "）";
}

} // namespace

std::vector<std::string> ServiceProblemLines(const ServiceFacts& facts) {
    if (!facts.badAddress.empty())
        return {"收不到信息！msgsvc.ini里的Address=" + facts.badAddress +
                    "不是a.b.c.d形式的IPv4地址，msgsvc.exe无法启动。请改正msgsvc.ini后重新运行Lumivale。",
                kWhereTheFixIs};
    if (facts.port.reached)
        return {};
    const PortFacts& port = facts.port;
    const PortFacts& fallback = facts.fallback;
    if (fallback.port != 0 && fallback.reached)
        return {Where(port) + Reason(port) + "，msgsvc.exe改用备用端口" +
                    std::to_string(fallback.port) + "接收：其他Lumivale发来的信息照常收到，" +
                    "旧版Windows和Samba发往" + std::to_string(port.port) + "的信息收不到。",
                kWhereTheFixIs};
    std::string line = "收不到信息！msgsvc.exe无法使用" + Where(port) + "：" + Reason(port) + "。";
    if (fallback.port != 0)
        line += "备用" + Where(fallback) + "也不能用：" + Reason(fallback) + "。";
    return {line, kWhereTheFixIs};
}

} // namespace lv::messenger
