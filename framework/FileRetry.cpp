#include "framework/FileRetry.h"

#include <algorithm>

namespace lv {

bool IsPassingFileError(unsigned long error) {
    return error == kErrorSharingViolation || error == kErrorLockViolation ||
           error == kErrorAccessDenied;
}

std::optional<unsigned> NextFileRetryDelay(unsigned attempt, uint64_t elapsedMs, unsigned limitMs) {
    if (elapsedMs >= limitMs)
        return std::nullopt;
    // 20, 40, 80, 160, then 250 ms apart.
    unsigned delay = attempt >= 4 ? 250u : std::min(250u, 20u << attempt);
    return static_cast<unsigned>(std::min<uint64_t>(delay, limitMs - elapsedMs));
}

unsigned long RetryWhileHeld(const std::function<unsigned long()>& attempt,
                             const FileRetryClock& clock, const std::function<bool()>& stop,
                             unsigned limitMs) {
    const uint64_t start = clock.nowMs();
    unsigned long error = attempt();
    for (unsigned n = 0; error != 0 && IsPassingFileError(error); ++n) {
        uint64_t now = clock.nowMs();
        std::optional<unsigned> delay = NextFileRetryDelay(n, now - start, limitMs);
        if (!delay)
            break;
        clock.wait(*delay);
        if (stop && stop())
            break;
        error = attempt();
    }
    return error;
}

} // namespace lv
