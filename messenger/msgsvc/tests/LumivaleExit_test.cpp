#include "messenger/msgsvc/LumivaleExit.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace lv::messenger;

std::optional<std::wstring> Parse(std::vector<std::wstring> args) {
    std::vector<wchar_t*> argv;
    for (std::wstring& arg : args)
        argv.push_back(arg.data());
    return LumivaleExitRequest(static_cast<int>(argv.size()), argv.data(), L"C:\\Lv\\");
}

TEST(LumivaleExit, CommandLineNamesTheProgramOrDefaultsToTheOneBesideMsgsvc) {
    EXPECT_EQ(Parse({L"msgsvc.exe", L"/exit", L"D:\\Other\\Lumivale.exe"}),
              std::wstring(L"D:\\Other\\Lumivale.exe"));
    EXPECT_EQ(Parse({L"msgsvc.exe", L"/EXIT"}), std::wstring(L"C:\\Lv\\Lumivale.exe"));
    // An empty argument (a path variable the installer left empty) is no path to match.
    EXPECT_EQ(Parse({L"msgsvc.exe", L"/Exit", L""}), std::wstring(L"C:\\Lv\\Lumivale.exe"));
    // Anything else is the service itself, or /stop.
    EXPECT_EQ(Parse({L"msgsvc.exe"}), std::nullopt);
    EXPECT_EQ(Parse({L"msgsvc.exe", L"/stop"}), std::nullopt);
    EXPECT_EQ(Parse({L"msgsvc.exe", L"/exits"}), std::nullopt);
    EXPECT_EQ(Parse({L"msgsvc.exe", L"/exi"}), std::nullopt);
}

// The installer starts Lumivale again on 5 and 6 only, and reports 4.
TEST(LumivaleExit, ExitCodeIsTheWorstOutcome) {
    using E = LumivaleEnd;
    EXPECT_EQ(LumivaleExitCode({}), kExitNoneRan);
    EXPECT_EQ(LumivaleExitCode({E::kOnRequest}), kExitEndedOnRequest);
    EXPECT_EQ(LumivaleExitCode({E::kOnRequest, E::kOutright, E::kOnRequest}), kExitEndedOutright);
    EXPECT_EQ(LumivaleExitCode({E::kOutright, E::kRunning, E::kOnRequest}), kExitNotEnded);
    EXPECT_EQ(LumivaleExitCode({E::kRunning, E::kOutright}), kExitNotEnded);
}

} // namespace
