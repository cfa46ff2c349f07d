#pragma once
// msgsvc.exe /stop [PATH]: ends the msgsvc.exe processes started from PATH (by default this
// very file), and no other. The installer runs it before it replaces or removes the
// programs of one installation, so that a copy another user or another folder runs goes on.
#include <optional>
#include <string>

namespace lv::messenger {

// The program file whose processes /stop ends, when the command line asks for a stop; its
// arguments as the C runtime splits them (program name first).
std::optional<std::wstring> StopRequest(int argc, wchar_t** argv, const std::wstring& self);

// Ends every process of `program` (compared as a path, case-insensitively) this account may
// end, except the calling one, and waits for each to be gone. False when one that was found
// could not be ended.
bool StopServicesRunningFrom(const std::wstring& program);

} // namespace lv::messenger
