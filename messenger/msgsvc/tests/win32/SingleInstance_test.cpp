// The single-instance rule msgsvc.exe and its launcher share.
#include "messenger/msgsvc/SingleInstance.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using namespace lv::messenger;

TEST(SingleInstance, SecondClaimIsRefusedAndAForeignObjectIsAFailure) {
    std::wstring name = L"LumivaleTestInstance " + std::to_wstring(GetCurrentProcessId());
    EXPECT_FALSE(InstanceRunning(name));
    EXPECT_EQ(ClaimInstance(name), InstanceClaim::kFirst);
    EXPECT_TRUE(InstanceRunning(name));
    EXPECT_EQ(ClaimInstance(name), InstanceClaim::kAlreadyRunning);
    // An event of the same name leaves no mutex to hold: the service must not start.
    std::wstring taken = name + L" event";
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, taken.c_str());
    ASSERT_TRUE(event);
    EXPECT_EQ(ClaimInstance(taken), InstanceClaim::kFailed);
    CloseHandle(event);
}

// What the launcher looks for is what the service claims, however msgsvc.ini wrote the
// address, and for that address and port only.
TEST(SingleInstance, LauncherSeesTheServiceOfItsOwnAddressAndPort) {
    std::string port = std::to_string(20000 + GetCurrentProcessId() % 40000);
    auto service = ReadServiceConfig("[Messenger]\nAddress=127.0.0.9\nPort=" + port + "\n");
    auto sameWrittenOtherwise =
        ReadServiceConfig("[MESSENGER]\naddress = 127.000.0.09\nport=" + port + "\n");
    auto otherPort = ReadServiceConfig("[Messenger]\nAddress=127.0.0.9\nPort=1\n");
    ASSERT_TRUE(service.error.empty());
    EXPECT_FALSE(ServiceInstanceRunning(service));
    EXPECT_EQ(ClaimServiceInstance(service), InstanceClaim::kFirst);
    EXPECT_TRUE(ServiceInstanceRunning(sameWrittenOtherwise));
    EXPECT_EQ(ClaimServiceInstance(sameWrittenOtherwise), InstanceClaim::kAlreadyRunning);
    EXPECT_FALSE(ServiceInstanceRunning(otherPort));
}

// The port belongs to the machine: a service of another log-on session (its mutex in the
// namespace all sessions share) counts as running, and a machine-wide name that cannot be
// had leaves the session's guard, not no guard.
TEST(SingleInstance, AServiceOfAnotherSessionCountsAndATakenMachineWideNameFallsBack) {
    std::string port = std::to_string(20000 + (GetCurrentProcessId() + 7) % 40000);
    auto config = ReadServiceConfig("[Messenger]\nAddress=127.0.0.8\nPort=" + port + "\n");
    std::wstring global =
        L"Global\\LumivaleMessengerService 127.0.0.8:" + std::wstring(port.begin(), port.end());
    HANDLE otherSession = CreateMutexW(nullptr, TRUE, global.c_str());
    ASSERT_TRUE(otherSession);
    EXPECT_TRUE(ServiceInstanceRunning(config));
    EXPECT_EQ(ClaimServiceInstance(config), InstanceClaim::kAlreadyRunning);
    CloseHandle(otherSession);
    EXPECT_FALSE(ServiceInstanceRunning(config));

    HANDLE squatter = CreateEventW(nullptr, TRUE, FALSE, global.c_str());
    ASSERT_TRUE(squatter);
    EXPECT_EQ(ClaimServiceInstance(config), InstanceClaim::kFirst);
    EXPECT_TRUE(ServiceInstanceRunning(config));
    EXPECT_EQ(ClaimServiceInstance(config), InstanceClaim::kAlreadyRunning);
    CloseHandle(squatter);
}

} // namespace
