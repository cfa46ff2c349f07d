#pragma once
// Start with Windows: the value "Lumivale" under the Run key. Ours goes into the per-user
// key (HKEY_CURRENT_USER), which every account may write. A machine-wide value (under
// HKEY_LOCAL_MACHINE) written by an older installation still counts as on, and is removed
// with ours where the account is allowed to.
#include <windows.h>

#include <string>

namespace lv {

inline constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRunValue[] = "Lumivale";

// Which of the two values start `program` (quoted or not, the path compared as Windows
// compares paths).
struct AutoStartEntries {
    bool perUser = false;
    bool machineWide = false;
    bool On() const { return perUser || machineWide; }
};
AutoStartEntries ReadAutoStart(const std::wstring& program);

// Writes the per-user value for `program`; false when it could not be written.
bool WriteAutoStart(const std::wstring& program);

enum class AutoStartResult {
    kDone,
    kFailed,          // the per-user value could not be removed
    kMachineWideKept, // ours is gone, but this account may not remove the machine-wide one:
                      // Windows still starts the program
};
// Removes the values that start `program`; a value for a copy elsewhere stays.
AutoStartResult RemoveAutoStart(const std::wstring& program);

// Tests: the keys the Run key is looked for under, instead of HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE; nullptr brings the real one back.
void SetAutoStartRoots(HKEY perUser, HKEY machineWide);

} // namespace lv
