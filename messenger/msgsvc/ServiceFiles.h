#pragma once
// The few file operations msgsvc.exe and its launcher need, on UTF-16 paths (a GBK trail
// byte can be 0x5C, so paths are never handled as bytes).
#include <string>
#include <vector>

namespace lv::messenger {

// msgsvc.ini beside the executable, as bytes; empty when there is none (all defaults).
std::string ReadServiceIni();

// Appends the lines (CR LF after each) to the file in one write; a failure is ignored: the
// log is a help, never a reason to stop delivering.
void AppendLines(const std::wstring& path, const std::vector<std::string>& lines);

} // namespace lv::messenger
