#pragma once
// The few file operations msgsvc.exe and its launcher need, on UTF-16 paths (a GBK trail
// byte can be 0x5C, so paths are never handled as bytes).
#include <string>
#include <string_view>

namespace lv::messenger {

// msgsvc.ini beside the executable, as bytes; empty when there is none (all defaults).
std::string ReadServiceIni();

// Appends one line (CR LF added) to the file; a failure is ignored: the log is a help,
// never a reason to stop delivering.
void AppendLine(const std::wstring& path, std::string_view line);

} // namespace lv::messenger
