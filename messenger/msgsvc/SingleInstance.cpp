#include "messenger/msgsvc/SingleInstance.h"

#include "framework/Gbk.h"

#include <windows.h>

namespace lv::messenger {

InstanceClaim ClaimInstance(const std::wstring& name) {
    // The handle is never closed: the system removes the mutex when the process ends.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
    if (!mutex)
        return InstanceClaim::kFailed;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return InstanceClaim::kAlreadyRunning;
    }
    return InstanceClaim::kFirst;
}

bool InstanceRunning(const std::wstring& name) {
    HANDLE running = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
    if (!running)
        return false;
    CloseHandle(running);
    return true;
}

InstanceClaim ClaimServiceInstance(const ServiceConfig& config) {
    return ClaimInstance(ToWide(ServiceMutexName(config)));
}

bool ServiceInstanceRunning(const ServiceConfig& config) {
    return InstanceRunning(ToWide(ServiceMutexName(config)));
}

} // namespace lv::messenger
