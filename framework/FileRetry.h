#pragma once
// When a file operation that failed is worth trying again: antivirus scanners, the search
// indexer and backup or sync tools open a file without sharing for a moment, and a write
// that meets them succeeds a moment later. Portable: the caller gives the system's error
// code, a clock and a way to wait.
#include <cstdint>
#include <functional>
#include <optional>

namespace lv {

// Win32 error codes by value (winerror.h).
constexpr unsigned long kErrorAccessDenied = 5;
constexpr unsigned long kErrorSharingViolation = 32;
constexpr unsigned long kErrorLockViolation = 33;

// True for the errors another program's open handle gives: a sharing or lock violation,
// and access denied (a file being replaced or deleted while someone holds it open).
bool IsPassingFileError(unsigned long error);

// How long a held file is waited for before the operation counts as failed.
constexpr unsigned kFileRetryLimitMs = 2000;

// The wait before the next attempt, `elapsedMs` after the first one began: short at first
// (most holders let go within a few milliseconds), then at most 250 ms, and never past
// `limitMs`. nullopt: the time is up.
std::optional<unsigned> NextFileRetryDelay(unsigned attempt, uint64_t elapsedMs,
                                           unsigned limitMs = kFileRetryLimitMs);

struct FileRetryClock {
    std::function<uint64_t()> nowMs;
    std::function<void(unsigned ms)> wait;
};

// Runs `attempt` (0 on success, the system's error code otherwise) until it succeeds, fails
// with an error that is not passing, or the time is up; `stop`, asked before each further
// attempt, ends the tries early (true: the result of the last attempt stands). Returns the
// last attempt's result.
unsigned long RetryWhileHeld(const std::function<unsigned long()>& attempt,
                             const FileRetryClock& clock, const std::function<bool()>& stop = {},
                             unsigned limitMs = kFileRetryLimitMs);

} // namespace lv
