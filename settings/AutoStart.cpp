#include "settings/AutoStart.h"

#include "framework/Files.h"
#include "framework/Registry.h"
#include "settings/RunValue.h"

#include <optional>

namespace lv {
namespace {

HKEY perUserRoot = nullptr;
HKEY machineWideRoot = nullptr;

HKEY PerUser() {
    return perUserRoot ? perUserRoot : HKEY_CURRENT_USER;
}
HKEY MachineWide() {
    return machineWideRoot ? machineWideRoot : HKEY_LOCAL_MACHINE;
}

bool StartsProgram(const TRegistry& run, const std::wstring& program) {
    std::optional<std::wstring> value = run.ReadWideString(kRunValue);
    return value && SamePath(std::wstring(RunValueProgram(*value)), program);
}

// Only the rights each step needs: a standard user may read the machine-wide key but not
// change it, and asking for more would fail the read too.
bool ReadEntry(HKEY root, const std::wstring& program) {
    TRegistry run;
    return run.OpenKey(root, kRunKey, KEY_QUERY_VALUE, false) && StartsProgram(run, program);
}

enum class Removal { kNothing, kRemoved, kRefused };
Removal RemoveEntry(HKEY root, const std::wstring& program) {
    if (!ReadEntry(root, program))
        return Removal::kNothing;
    TRegistry run;
    if (!run.OpenKey(root, kRunKey, KEY_QUERY_VALUE | KEY_SET_VALUE, false))
        return Removal::kRefused;
    return run.DeleteValue(kRunValue) ? Removal::kRemoved : Removal::kRefused;
}

} // namespace

AutoStartEntries ReadAutoStart(const std::wstring& program) {
    return {ReadEntry(PerUser(), program), ReadEntry(MachineWide(), program)};
}

bool WriteAutoStart(const std::wstring& program) {
    TRegistry run;
    return run.OpenKey(PerUser(), kRunKey, KEY_SET_VALUE, true) &&
           run.WriteWideString(kRunValue, RunValueFor(program));
}

AutoStartResult RemoveAutoStart(const std::wstring& program) {
    if (RemoveEntry(PerUser(), program) == Removal::kRefused)
        return AutoStartResult::kFailed;
    if (RemoveEntry(MachineWide(), program) == Removal::kRefused)
        return AutoStartResult::kMachineWideKept;
    return AutoStartResult::kDone;
}

void SetAutoStartRoots(HKEY perUser, HKEY machineWide) {
    perUserRoot = perUser;
    machineWideRoot = machineWide;
}

} // namespace lv
