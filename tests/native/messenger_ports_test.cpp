// The port and its fallback as msgsvc.ini sets them, and what the status area says when
// messages cannot arrive.
#include "messenger/ServiceReport.h"
#include "messenger/Settings.h"

#include <gtest/gtest.h>

namespace {

using namespace lv::messenger;

TEST(MessengerPorts, FallbackOnlyWithTheDefaultPortUnlessSetItself) {
    struct Case {
        const char* ini;
        int port, fallback;
    } cases[] = {
        {"", 139, 1139},
        {"[Messenger]\nPort=abc\n", 139, 1139}, // unusable: as if missing
        {"[Messenger]\nPort=0\n", 139, 1139},
        {"[Messenger]\nPort=139\n", 139, 0}, // chosen by hand, even the default
        {"[Messenger]\nPort=1180\n", 1180, 0},
        {"[Messenger]\nPort=1180\nFallbackPort=1181\n", 1180, 1181},
        {"[Messenger]\nFallbackPort=1182\n", 139, 1182},
        {"[Messenger]\nFallbackPort=0\n", 139, 0},
        {"[Messenger]\nFallbackPort=139\n", 139, 0},
        {"[Messenger]\nPort=1139\n", 1139, 0},
        {"[Messenger]\nFallbackPort=70000\n", 139, 1139},
    };
    for (const Case& c : cases) {
        MessengerSettings s = ReadMessengerSettings(c.ini);
        EXPECT_EQ(s.port, c.port) << c.ini;
        EXPECT_EQ(s.fallbackPort, c.fallback) << c.ini;
    }
}

PortFacts P(uint16_t port, bool reached, std::string address = "", int reason = why::kNoAnswer) {
    return {port, reached, std::move(address), reason};
}

ServiceFacts F(std::string badAddress, PortFacts port, PortFacts fallback) {
    ServiceFacts facts;
    facts.badAddress = std::move(badAddress);
    facts.port = std::move(port);
    facts.fallback = std::move(fallback);
    return facts;
}

bool Has(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& line : lines)
        if (line.find(part) != std::string::npos)
            return true;
    return false;
}

TEST(MessengerPorts, ProblemLinesNameAddressPortReasonAndTheFix) {
    PortFacts fine = P(139, true);
    EXPECT_TRUE(ServiceProblemLines(F("", fine, {})).empty());
    EXPECT_TRUE(ServiceProblemLines(F("", fine, P(1139, false, "0.0.0.0", why::kInUse))).empty());

    struct Case {
        const char* what;
        ServiceFacts facts;
        std::vector<std::string> parts;
        bool nothingArrives;
    } cases[] = {
        {"139 held, fallback listens",
         F("", P(139, false, "127.0.0.2", why::kInUse), P(1139, true)),
         {"端口139（地址127.0.0.2）", "已被其他程序占用", "NetBIOS", "备用端口1139"},
         false},
        {"NetBIOS answers on 139 at one address",
         F("", P(139, false, "192.168.0.5", why::kOtherHolder), P(1139, true)),
         {"端口139（地址192.168.0.5）", "已被其他程序占用", "NetBIOS"},
         false},
        {"a hand-set port held",
         F("", P(1180, false, "0.0.0.0", why::kInUse), {}),
         {"收不到信息", "端口1180（本机所有地址）", "已被其他程序占用"},
         true},
        {"no right, and the fallback taken too",
         F("", P(139, false, "0.0.0.0", why::kNoRight), P(1139, false, "0.0.0.0", why::kInUse)),
         {"收不到信息", "没有使用权限", "备用端口1139（本机所有地址）也不能用"},
         true},
        {"no such address",
         F("", P(1180, false, "10.9.9.9", why::kNoAddress), {}),
         {"本机没有这个地址"},
         true},
        {"silence",
         F("", P(1180, false, "127.0.0.1", why::kNoAnswer), {}),
         {"msgsvc.exe没有应答"},
         true},
        {"another error", F("", P(1180, false, "127.0.0.1", 10065), {}), {"错误代码10065"}, true},
        {"bad msgsvc.ini",
         F("localhost", fine, {}),
         {"收不到信息", "msgsvc.ini", "Address=localhost"},
         true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines = ServiceProblemLines(c.facts);
        for (const std::string& part : c.parts)
            EXPECT_TRUE(Has(lines, part)) << c.what << ": " << part;
        EXPECT_EQ(Has(lines, "收不到信息！"), c.nothingArrives) << c.what;
        // Where the fix is described, every time.
        EXPECT_TRUE(Has(lines, "帮助") && Has(lines, "README.TXT") && Has(lines, "NetBIOS") &&
                    Has(lines, "Port="))
            << c.what;
    }
}

using lv::messenger::firewall::Verdict;
using lv::messenger::firewall::Why;

FirewallFacts Blocked(Why why, long blocked = lv::messenger::firewall::kPrivate,
                      long current = lv::messenger::firewall::kPrivate, bool byPolicy = false) {
    FirewallFacts f;
    f.verdict.state = Verdict::State::kBlocked;
    f.verdict.why = why;
    f.verdict.blockedProfiles = blocked;
    f.verdict.currentProfiles = current;
    f.verdict.byPolicy = byPolicy;
    f.program = "C:\\Users\\Bob\\AppData\\Local\\Lumivale\\msgsvc.exe";
    f.ports = {1139, 139};
    return f;
}

TEST(MessengerPorts, Port139HeldIsToldOnceAnyOtherTroubleEveryTime) {
    const PortFacts held = P(139, false, "192.168.1.20", why::kInUse), fallback = P(1139, true);
    struct Case {
        const char* what;
        ServiceFacts facts;
        bool usual;
    } cases[] = {
        {"139 held, 1139 receives", F("", held, fallback), true},
        {"NetBIOS answers at one address",
         F("", P(139, false, "192.168.1.20", why::kOtherHolder), fallback), true},
        {"139 free", F("", P(139, true), fallback), false},
        {"a port set by hand, with a fallback of its own",
         F("", P(1180, false, "0.0.0.0", why::kInUse), P(1181, true)), false},
        {"139 set by hand, no fallback", F("", held, {}), false},
        {"the fallback cannot be had either", F("", held, P(1139, false, "0.0.0.0", why::kInUse)),
         false},
        {"bad msgsvc.ini", F("x", held, fallback), false},
    };
    for (Case& c : cases) {
        EXPECT_EQ(Port139HeldAsUsual(c.facts), c.usual) << c.what;
        std::vector<std::string> first = ServiceProblemLines(c.facts);
        c.facts.port139Told = true;
        std::vector<std::string> later = ServiceProblemLines(c.facts);
        if (c.usual) {
            EXPECT_TRUE(Has(first, "端口139（地址192.168.1.20）") && Has(first, "照常收到") &&
                        Has(first, "只显示这一次") && Has(first, "需要管理员权限"))
                << c.what;
            EXPECT_TRUE(later.empty()) << c.what;
        } else {
            EXPECT_EQ(later, first) << c.what;
        }
    }
}

TEST(MessengerPorts, AClosedFirewallIsSaidAndNothingClaimsMessagesArrive) {
    ServiceFacts facts = F("", P(139, false, "192.168.1.20", why::kInUse), P(1139, true));
    facts.firewall = Blocked(Why::kBlockRule);
    std::vector<std::string> lines = ServiceProblemLines(facts);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Windows防火墙", 0), 0u);
    EXPECT_TRUE(Has(lines, "阻止msgsvc.exe的规则") && Has(lines, "收不到其他电脑发来的信息"));
    EXPECT_TRUE(Has(lines, "允许Lumivale通过Windows防火墙接收信息"));
    EXPECT_TRUE(Has(lines, "程序msgsvc.exe（C:\\Users\\Bob\\AppData\\Local\\Lumivale\\msgsvc."
                           "exe），TCP端口1139和139"));
    EXPECT_FALSE(Has(lines, "照常收到"));
    EXPECT_TRUE(Has(lines, "备用端口1139")); // the first time, 139 is still named

    facts.port139Told = true;
    EXPECT_EQ(ServiceProblemLines(facts).size(), 2u);
    facts.port = P(139, true);
    EXPECT_EQ(ServiceProblemLines(facts).size(), 2u); // also when every port is reached
    facts.firewall.verdict.state = Verdict::State::kUnknown;
    EXPECT_TRUE(ServiceProblemLines(facts).empty());
    facts.firewall.verdict.state = Verdict::State::kOpen;
    EXPECT_TRUE(ServiceProblemLines(facts).empty());

    using namespace lv::messenger::firewall;
    struct Case {
        const char* what;
        FirewallFacts firewall;
        std::vector<std::string> parts;
        std::vector<std::string> absent;
    } cases[] = {
        {"only the public network of two",
         Blocked(Why::kOtherProfile, kPublic, kPrivate | kPublic),
         {"Windows防火墙在公用网络上挡住", "不用于当前的专用网络和公用网络", "设为专用网络",
          "在公用网络（咖啡馆、机场等）上也允许"},
         {}},
        {"every network in force",
         Blocked(Why::kOtherProfile, kPublic, kPublic),
         {"Windows防火墙挡住"},
         {"在公用网络上"}},
        {"shields up",
         Blocked(Why::kBlockAll),
         {"阻止所有传入连接", "Windows安全中心"},
         {"安装程序"}},
        {"group policy",
         Blocked(Why::kLocalRulesIgnored, kDomain, kDomain, true),
         {"组策略", "网络管理员", "TCP端口1139和139"},
         {"安装程序"}},
        {"no rule", Blocked(Why::kNoAllowRule), {"没有允许msgsvc.exe"}, {}},
    };
    for (Case& c : cases) {
        ServiceFacts f = F("", P(139, true), P(1139, true));
        f.firewall = c.firewall;
        std::vector<std::string> got = ServiceProblemLines(f);
        for (const std::string& part : c.parts)
            EXPECT_TRUE(Has(got, part)) << c.what << ": " << part;
        for (const std::string& part : c.absent)
            EXPECT_FALSE(Has(got, part)) << c.what << ": " << part;
    }
    FirewallFacts other = Blocked(Why::kOtherPath);
    other.otherPath = "%USERPROFILE%\\AppData\\Local\\Lumivale\\msgsvc.exe";
    ServiceFacts f = F("", P(139, true), P(1139, true));
    f.firewall = other;
    EXPECT_TRUE(Has(ServiceProblemLines(f), "规则里的程序是%USERPROFILE%"));
    EXPECT_TRUE(Has(ServiceProblemLines(f), "不按当前用户展开"));
}

} // namespace
