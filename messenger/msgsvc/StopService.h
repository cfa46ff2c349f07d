#pragma once
// msgsvc.exe /stop [PATH]: ends the msgsvc.exe processes started from PATH (by default this
// very file), and no other. The installer runs it before it replaces or removes the
// programs of one installation, so that a copy another user or another folder runs goes on.
// msgsvc.exe /exit [PATH] does the same for Lumivale.exe (LumivaleExit.h), asking first.
#include "messenger/msgsvc/LumivaleExit.h"

#include <optional>
#include <string>
#include <vector>

namespace lv::messenger {

// The program file whose processes /stop ends, when the command line asks for a stop; its
// arguments as the C runtime splits them (program name first).
std::optional<std::wstring> StopRequest(int argc, wchar_t** argv, const std::wstring& self);

// Ends every process of `program` (compared as a path, case-insensitively) this account may
// end, except the calling one, and waits for each to be gone. False when one that was found
// could not be ended.
bool StopServicesRunningFrom(const std::wstring& program);

// The Lumivale.exe processes of `program` this account may end: asks those that listen to
// exit and gives them `boundMs` together, ends the others at once and the asked ones still
// running after the bound. What became of each.
std::vector<LumivaleEnd> EndLumivaleRunningFrom(const std::wstring& program, unsigned boundMs);

} // namespace lv::messenger
