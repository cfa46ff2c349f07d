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

bool Has(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& line : lines)
        if (line.find(part) != std::string::npos)
            return true;
    return false;
}

TEST(MessengerPorts, ProblemLinesNameAddressPortReasonAndTheFix) {
    PortFacts fine = P(139, true);
    EXPECT_TRUE(ServiceProblemLines({"", fine, {}}).empty());
    EXPECT_TRUE(ServiceProblemLines({"", fine, P(1139, false, "0.0.0.0", why::kInUse)}).empty());

    struct Case {
        const char* what;
        ServiceFacts facts;
        std::vector<std::string> parts;
        bool nothingArrives;
    } cases[] = {
        {"139 held, fallback listens",
         {"", P(139, false, "127.0.0.2", why::kInUse), P(1139, true)},
         {"端口139（地址127.0.0.2）", "已被其他程序占用", "NetBIOS", "备用端口1139"},
         false},
        {"NetBIOS answers on 139 at one address",
         {"", P(139, false, "192.168.0.5", why::kOtherHolder), P(1139, true)},
         {"端口139（地址192.168.0.5）", "已被其他程序占用", "NetBIOS"},
         false},
        {"a hand-set port held",
         {"", P(1180, false, "0.0.0.0", why::kInUse), {}},
         {"收不到信息", "端口1180（本机所有地址）", "已被其他程序占用"},
         true},
        {"no right, and the fallback taken too",
         {"", P(139, false, "0.0.0.0", why::kNoRight), P(1139, false, "0.0.0.0", why::kInUse)},
         {"收不到信息", "没有使用权限", "备用端口1139（本机所有地址）也不能用"},
         true},
        {"no such address", {"", P(1180, false, "10.9.9.9", why::kNoAddress), {}}, {"本机没有这个地址"}, true},
        {"silence", {"", P(1180, false, "127.0.0.1", why::kNoAnswer), {}}, {"msgsvc.exe没有应答"}, true},
        {"another error", {"", P(1180, false, "127.0.0.1", 10065), {}}, {"错误代码10065"}, true},
        {"bad msgsvc.ini", {"localhost", fine, {}}, {"收不到信息", "msgsvc.ini", "Address=localhost"}, true},
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

} // namespace
