#include "messenger/msgsvc/SingleInstance.h"

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

} // namespace lv::messenger
