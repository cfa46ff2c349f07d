// Reading Windows Firewall's state for the service watch: bounded in time, repeatable on one
// thread (the watch reads at start-up and at every restart of msgsvc.exe), and "unknown"
// where the interface exists without its methods, as under Wine, so that nothing is said.
#include "messenger/FirewallPolicy.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <thread>

namespace {

using namespace lv::messenger;
using Clock = std::chrono::steady_clock;

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST(FirewallRead, BoundedRepeatableAndUnknownWhereItCannotBeRead) {
    std::thread watch([] {
        for (int round = 0; round < 2; ++round) {
            auto start = Clock::now();
            firewall::Snapshot s = ReadFirewall(1500);
            EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3000)) << round;
            if (UnderWine()) {
                EXPECT_FALSE(s.known) << round;
                EXPECT_EQ(firewall::Judge(s, L"C:\\msgsvc.exe", {1139}).state,
                          firewall::Verdict::State::kUnknown);
            } else {
                EXPECT_TRUE(s.known) << round;
            }
        }
        // Our rule is looked for the same way: an error, not "no rule", where it cannot be read.
        HRESULT hr = FindFirewallRule(L"C:\\Lumivale\\msgsvc.exe");
        if (UnderWine())
            EXPECT_TRUE(FAILED(hr));
        else
            EXPECT_EQ(hr, S_FALSE);
    });
    watch.join();
}

} // namespace
