#include "messenger/ServiceReport.h"

#include "messenger/Settings.h"

#include <utility>

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

using firewall::Verdict;
using firewall::Why;

// The Chinese names Windows gives the network profiles.
std::string Profiles(long bits) {
    static const std::pair<long, const char*> kNames[] = {{firewall::kDomain, "域网络"},
                                                          {firewall::kPrivate, "专用网络"},
                                                          {firewall::kPublic, "公用网络"}};
    std::string names;
    for (const auto& [bit, name] : kNames)
        if (bits & bit)
            names += (names.empty() ? "" : "和") + std::string(name);
    return names;
}

std::string Ports(const std::vector<uint16_t>& ports) {
    std::string text;
    for (size_t i = 0; i < ports.size(); ++i)
        text += (i == 0 ? "" : i + 1 == ports.size() ? "和" : "、") + std::to_string(ports[i]);
    return text;
}

std::vector<std::string> FirewallLines(const FirewallFacts& f) {
    const Verdict& v = f.verdict;
    std::string reason;
    switch (v.why) {
    case Why::kBlockAll:
        reason = "设置了“阻止所有传入连接”";
        break;
    case Why::kBlockRule:
        reason = "有阻止msgsvc.exe的规则（Windows在msgsvc.exe第一次接收时自动添加，"
                 "或者防火墙的提示被关掉了）";
        break;
    case Why::kLocalRulesIgnored:
        reason = "组策略规定只用组策略里的规则，本机允许msgsvc.exe的规则不起作用";
        break;
    case Why::kOtherProfile:
        reason = "允许msgsvc.exe的规则不用于当前的" + Profiles(v.currentProfiles);
        break;
    case Why::kOtherPath:
        reason = "允许规则里的程序是" + f.otherPath + "，不是这台电脑上的msgsvc.exe";
        if (f.otherPath.find('%') != std::string::npos)
            reason += "（防火墙不按当前用户展开%USERPROFILE%这类变量）";
        break;
    default:
        reason = "没有允许msgsvc.exe接收信息的规则";
        break;
    }
    std::string where =
        v.blockedProfiles == v.currentProfiles ? "" : "在" + Profiles(v.blockedProfiles) + "上";
    std::string rule =
        "入站规则：程序msgsvc.exe（" + f.program + "），TCP端口" + Ports(f.ports) + "，允许连接";
    std::string fix;
    if (v.byPolicy)
        fix = "这台电脑的防火墙由组策略管理：请网络管理员在组策略里添加" + rule +
              "（程序写完整路径，不要用%USERPROFILE%这类变量）。";
    else if (v.why == Why::kBlockAll)
        fix = "解决办法：在“Windows安全中心→防火墙和网络保护”里打开当前的网络，取消"
              "“阻止所有传入连接”（需要管理员权限）。";
    else if (v.why == Why::kOtherProfile && (v.blockedProfiles & firewall::kPublic))
        // Windows makes every new network public until the user says otherwise.
        fix = "解决办法：办公室或家里的网络请设为专用网络（设置→网络和Internet→属性→网络配置文件"
              "类型→专用网络）；或者重新运行Lumivale安装程序，勾选“在公用网络（咖啡馆、机场等）上也"
              "允许”（需要管理员"
              "确认一次）；或者请网络管理员添加" +
              rule + "。";
    else
        fix = "解决办法：重新运行Lumivale安装程序，勾选“允许Lumivale通过Windows防火墙接收信息”"
              "（需要管理员确认一次）；或者请网络管理员添加" +
              rule + "。";
    return {"Windows防火墙" + where + "挡住了其他电脑发给msgsvc.exe的信息：" + reason +
                "。现在收不到其他电脑发来的信息！",
            fix};
}

} // namespace

bool Port139HeldAsUsual(const ServiceFacts& facts) {
    return facts.badAddress.empty() && facts.port.port == kDefaultPort && !facts.port.reached &&
           facts.fallback.port != 0 && facts.fallback.reached;
}

std::vector<std::string> ServiceProblemLines(const ServiceFacts& facts) {
    if (!facts.badAddress.empty())
        return {"收不到信息！msgsvc.ini里的Address=" + facts.badAddress +
                    "不是a.b.c.d形式的IPv4地址，msgsvc.exe无法启动。请改正msgsvc."
                    "ini后重新运行Lumivale。",
                kWhereTheFixIs};
    const bool blocked = facts.firewall.verdict.state == Verdict::State::kBlocked;
    std::vector<std::string> lines;
    if (blocked)
        lines = FirewallLines(facts.firewall);
    const PortFacts& port = facts.port;
    const PortFacts& fallback = facts.fallback;
    if (port.reached)
        return lines;
    if (fallback.port != 0 && fallback.reached) {
        const bool usual = Port139HeldAsUsual(facts);
        if (usual && facts.port139Told)
            return lines;
        std::string line = Where(port) + Reason(port) + "，msgsvc.exe改用备用端口" +
                           std::to_string(fallback.port) + "接收";
        // Behind a closed firewall nothing arrives on either port.
        if (!blocked)
            line += "：其他Lumivale发来的信息照常收到，旧版Windows和Samba发往" +
                    std::to_string(port.port) + "的信息收不到";
        line += "。";
        if (usual) {
            lines.push_back(line + "这是Windows电脑的常见情况，此提示只显示这一次。");
            lines.push_back(
                "只有要接收旧版Windows或Samba发往139的信息时才需要处理（需要管理员权限），"
                "办法见帮助（主菜单→帮助，即README.TXT“八、收不到信息怎么办”）："
                "关闭“TCP/IP上的NetBIOS”，或在每台电脑的msgsvc.ini里设置同一个其他的Port=。");
        } else {
            lines.push_back(line);
            lines.push_back(kWhereTheFixIs);
        }
        return lines;
    }
    std::string line = "收不到信息！msgsvc.exe无法使用" + Where(port) + "：" + Reason(port) + "。";
    if (fallback.port != 0)
        line += "备用" + Where(fallback) + "也不能用：" + Reason(fallback) + "。";
    lines.push_back(line);
    lines.push_back(kWhereTheFixIs);
    return lines;
}

} // namespace lv::messenger
