#include "messenger/msgsvc/SingleInstance.h"

#include "framework/Gbk.h"

#include <windows.h>

namespace lv::messenger {
namespace {

// The port is the machine's, not the log-on session's: the service's mutex lives in the
// namespace every session shares.
std::wstring GlobalName(const std::wstring& name) {
    return L"Global\\" + name;
}

} // namespace

InstanceClaim ClaimInstance(const std::wstring& name) {
    // The handle is never closed: the system removes the mutex when the process ends.
    HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
    if (!mutex) {
        // Another account's service holds it and its mutex does not let us in.
        return GetLastError() == ERROR_ACCESS_DENIED ? InstanceClaim::kAlreadyRunning
                                                     : InstanceClaim::kFailed;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return InstanceClaim::kAlreadyRunning;
    }
    return InstanceClaim::kFirst;
}

bool InstanceRunning(const std::wstring& name) {
    HANDLE running = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
    if (!running)
        return GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(running);
    return true;
}

InstanceClaim ClaimServiceInstance(const ServiceConfig& config) {
    std::wstring name = ToWide(ServiceMutexName(config));
    InstanceClaim global = ClaimInstance(GlobalName(name));
    if (global != InstanceClaim::kFailed)
        return global;
    // No machine-wide mutex (the name taken by another kind of object, a system without
    // the namespace): the session's guard as before; the exclusive bind of the port still
    // keeps a second service off it.
    return ClaimInstance(name);
}

bool ServiceInstanceRunning(const ServiceConfig& config) {
    std::wstring name = ToWide(ServiceMutexName(config));
    // The session's name too: a service that fell back to it, or one of an older version.
    return InstanceRunning(GlobalName(name)) || InstanceRunning(name);
}

} // namespace lv::messenger
