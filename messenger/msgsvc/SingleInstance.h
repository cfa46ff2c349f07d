#pragma once
// The named mutex that marks a running service for one address and port, one for the whole
// machine (every log-on session). msgsvc.exe claims it; the launcher in Lumivale.exe looks
// for it before starting one. Both go through here, so they always agree on the name and on
// what "running" means.
#include "messenger/msgsvc/ServiceConfig.h"

#include <string>

namespace lv::messenger {

enum class InstanceClaim {
    kFirst,          // ours now, held until the process ends
    kAlreadyRunning, // another service holds it, in any session, of any account
    kFailed,         // no mutex at all (e.g. another kind of object has the name): without
                     // the guard two services could run, so the caller must not start
};

InstanceClaim ClaimServiceInstance(const ServiceConfig& config);
// True while a service for the config's address and port holds its mutex.
bool ServiceInstanceRunning(const ServiceConfig& config);

// The same by mutex name.
InstanceClaim ClaimInstance(const std::wstring& name);
bool InstanceRunning(const std::wstring& name);

} // namespace lv::messenger
