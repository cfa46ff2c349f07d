#include "messenger/msgsvc/AddressList.h"
#include "messenger/msgsvc/ServiceConfig.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace lv::messenger;
using lv::FormatIpv4;
using lv::ParseIpv4;

uint32_t Ip(const char* dotted) {
    return *ParseIpv4(dotted);
}

TEST(AddressList, OnlyExactAddressesAndRangesAreEntries) {
    const std::pair<const char*, const char*> good[] = {
        {"192.168.1.23", "192.168.1.23"}, {"10.0.0.0/8", "10.0.0.0/8"},
        {"0.0.0.0/0", "0.0.0.0/0"},       {"127.0.0.12/32", "127.0.0.12"},
        {"10.0.0.0/08", "10.0.0.0/8"},    {"010.000.0.1", "10.0.0.1"}, // decimal, as Address=
    };
    for (auto [entry, normal] : good) {
        auto range = ParseAddressRange(entry);
        ASSERT_TRUE(range) << entry;
        EXPECT_EQ(FormatAddressRange(*range), normal);
    }
    // Host bits set: the address or the network? Either guess could widen an Allow=.
    const char* bad[] = {"10.0.0.5/8",   "0.0.0.1/0",  "1.2.3.4/33",      "1.2.3.4/",
                         "1.2.3.4/-1",   "1.2.3.4/+8", "1.2.3.0/024",     "1.2.3.0/24/24",
                         "1.2.3.0 /24",  "/8",         "1.2.3",           "1.2.3.256",
                         "localhost",    "::1",        "1.2.3.4-1.2.3.9", "10.0.0.0/255.0.0.0",
                         "1.2.3.4 ;pest"};
    for (const char* entry : bad)
        EXPECT_FALSE(ParseAddressRange(entry)) << entry;
}

// Every prefix length: exactly its first to its last address.
TEST(AddressList, EachPrefixCoversExactlyItsRange) {
    const uint32_t base = Ip("172.20.147.85");
    for (int prefix = 0; prefix <= 32; ++prefix) {
        uint32_t mask = prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix);
        uint32_t first = base & mask, last = first | ~mask;
        auto range = ParseAddressRange(FormatIpv4(first) + "/" + std::to_string(prefix));
        ASSERT_TRUE(range) << prefix;
        EXPECT_TRUE(range->Contains(first) && range->Contains(last)) << prefix;
        if (prefix > 0) {
            EXPECT_FALSE(range->Contains(first - 1) || range->Contains(last + 1)) << prefix;
        }
    }
}

TEST(AddressList, MalformedEntriesAreReportedAndMatchNothing) {
    auto list = ParseAddressList(" 10.0.0.0/8 ,\t192.168.1.23,bogus , 1.2.3.4/33,, ,");
    EXPECT_EQ(list.ranges.size(), 2u);
    EXPECT_EQ(list.malformed, (std::vector<std::string>{"bogus", "1.2.3.4/33"}));
    EXPECT_TRUE(list.Contains(Ip("10.255.0.1")));
    EXPECT_FALSE(list.Contains(Ip("1.2.3.4")));
    for (const char* empty : {"", " ", " , ,\t"})
        EXPECT_FALSE(ParseAddressList(empty).Named()) << empty;
}

TEST(AddressList, AccessNeverWiderThanTheUsableEntriesSay) {
    struct Case {
        const char *allow, *deny, *peer;
        Admission expected;
    };
    const Case cases[] = {
        {"", "", "203.0.113.7", Admission::kAdmitted},
        {"192.168.1.0/24", "", "192.168.1.200", Admission::kAdmitted},
        {"192.168.1.0/24", "", "192.168.2.1", Admission::kNotAllowed},
        // Deny wins: one pest inside an allowed network is still shut out.
        {"192.168.1.0/24", "192.168.1.23", "192.168.1.23", Admission::kDenied},
        // A malformed Allow entry is dropped; the usable ones still restrict.
        {"192.168.1.0/24, 10.0.0.1/8", "", "10.0.0.1", Admission::kNotAllowed},
        // Every Allow entry unusable: nobody, never everybody.
        {"localhost", "", "127.0.0.1", Admission::kNotAllowed},
        {"192.168.1.1/24, pc-of-lily", "", "192.168.1.1", Admission::kNotAllowed},
        // A malformed Deny entry shuts out nobody by accident.
        {"", "192.168.1.23/8", "192.168.1.23", Admission::kAdmitted},
    };
    for (const Case& c : cases) {
        PeerAccess access{ParseAddressList(c.allow), ParseAddressList(c.deny)};
        EXPECT_EQ(access.Admit(Ip(c.peer)), c.expected)
            << "Allow=" << c.allow << " Deny=" << c.deny << " peer " << c.peer;
    }
}

} // namespace
