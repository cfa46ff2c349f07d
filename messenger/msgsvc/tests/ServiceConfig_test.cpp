#include "messenger/msgsvc/ServiceConfig.h"

#include <gtest/gtest.h>

namespace {

using lv::messenger::ReadServiceConfig;

TEST(ServiceConfig, AddressAndPortFromTheMessengerSection) {
    struct Case {
        const char* ini;
        std::string address;
        int port;
        bool ok;
    };
    const Case cases[] = {
        {"", "0.0.0.0", 139, true},
        {"[Messenger]\r\nAddress=127.0.0.2\r\nPort=1139\r\n", "127.0.0.2", 1139, true},
        {"[messenger]\nport = 0x473\n", "0.0.0.0", 1139, true},
        {"[Other]\nPort=1139\n", "0.0.0.0", 139, true},
        {"[Messenger]\nAddress=127.000.0.02\n", "127.0.0.2", 139, true},
        {"[Messenger]\nAddress=localhost\n", "0.0.0.0", 139, false},
        {"[Messenger]\nAddress=1.2.3\n", "0.0.0.0", 139, false},
        {"[Messenger]\nAddress=1.2.3.256\n", "0.0.0.0", 139, false},
        {"[Messenger]\nAddress=1.2.3.4.5\n", "0.0.0.0", 139, false},
        {"[Messenger]\nPort=0\n", "0.0.0.0", 139, true},
        {"[Messenger]\nPort=65536\n", "0.0.0.0", 139, true},
        {"[Messenger]\nPort=-1\n", "0.0.0.0", 139, true},
        {"[Messenger]\nPort=65535\n", "0.0.0.0", 65535, true},
    };
    for (const Case& c : cases) {
        auto config = ReadServiceConfig(c.ini);
        EXPECT_EQ(config.address, c.address) << c.ini;
        EXPECT_EQ(config.port, c.port) << c.ini;
        EXPECT_EQ(config.error.empty(), c.ok) << c.ini << config.error;
    }
}

// The service listens where NetMessageBufferSend sends: one reading of Port for both.
TEST(ServiceConfig, PortAndAddressAgreeWithTheSendersSettings) {
    const char* ports[] = {"", "1139", "0x473", "0", "65535", "65536", "-1", "abc", " 445 "};
    for (const char* port : ports) {
        std::string ini = std::string("[Messenger]\nPort=") + port + "\n";
        EXPECT_EQ(ReadServiceConfig(ini).port, lv::messenger::ReadMessengerSettings(ini).port)
            << port;
    }
    // An empty address means the default, as a missing one does.
    auto empty = ReadServiceConfig("[Messenger]\nAddress=\n");
    EXPECT_EQ(empty.address, "0.0.0.0");
    EXPECT_TRUE(empty.error.empty());
}

TEST(ServiceConfig, LimitsCannotBeSwitchedOff) {
    auto config = ReadServiceConfig(
        "[Messenger]\nMaxSessions=0\nIdleSeconds=-5\nMaxPopups=100000\nSessionSeconds=x\n");
    EXPECT_EQ(config.maxSessions, 1);
    EXPECT_EQ(config.idleSeconds, 1);
    EXPECT_EQ(config.maxPopups, 2000);
    EXPECT_EQ(config.sessionSeconds, 120);
    auto defaults = ReadServiceConfig("");
    EXPECT_EQ(defaults.maxPopups, 500);
    EXPECT_EQ(defaults.maxSessions, 128);
    EXPECT_EQ(defaults.maxSessionsPerPeer, 8);
    EXPECT_EQ(defaults.maxPopupsPerPeer, 50);
    auto perPeer = ReadServiceConfig("[Messenger]\nMaxSessionsPerPeer=0\nMaxPopupsPerPeer=9999\n");
    EXPECT_EQ(perPeer.maxSessionsPerPeer, 1);
    EXPECT_EQ(perPeer.maxPopupsPerPeer, 2000);
}

TEST(ServiceConfig, AllowAndDenyComeFromTheMessengerSection) {
    auto config = ReadServiceConfig("[Messenger]\nDeny = 192.168.1.23, pest\nallow=10.0.0.0/8\n"
                                    "[Other]\nAllow=pest\n");
    EXPECT_TRUE(config.error.empty()); // a broken list is no broken file
    EXPECT_EQ(config.access.deny.ranges.size(), 1u);
    EXPECT_EQ(config.access.deny.malformed, std::vector<std::string>{"pest"});
    EXPECT_EQ(config.access.allow.ranges.size(), 1u);
    EXPECT_TRUE(config.access.allow.malformed.empty());
}

// One service per address and port: the launcher and the service must agree on the name
// however the address was written.
TEST(ServiceConfig, MutexNameIsPerNormalisedAddressAndPort) {
    auto a = ReadServiceConfig("[Messenger]\nAddress=127.0.0.2\nPort=1139\n");
    auto b = ReadServiceConfig("[MESSENGER]\naddress = 127.00.0.2\nport=1139\n");
    auto c = ReadServiceConfig("[Messenger]\nAddress=127.0.0.3\nPort=1139\n");
    auto d = ReadServiceConfig("[Messenger]\nAddress=127.0.0.2\nPort=139\n");
    EXPECT_EQ(ServiceMutexName(a), ServiceMutexName(b));
    EXPECT_NE(ServiceMutexName(a), ServiceMutexName(c));
    EXPECT_NE(ServiceMutexName(a), ServiceMutexName(d));
    EXPECT_EQ(ServiceMutexName(a), "LumivaleMessengerService 127.0.0.2:1139");
}

} // namespace
