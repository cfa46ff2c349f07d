#pragma once
// The named mutex that marks a running service for one address and port.
#include <string>

namespace lv::messenger {

enum class InstanceClaim {
    kFirst,          // ours now, held until the process ends
    kAlreadyRunning, // another service holds it
    kFailed,         // no mutex at all (e.g. another kind of object has the name): without
                     // the guard two services could run, so the caller must not start
};

InstanceClaim ClaimInstance(const std::wstring& name);

} // namespace lv::messenger
