#pragma once
// msgsvc.exe /exit [PATH]: ends the Lumivale.exe processes started from PATH (by default the
// Lumivale.exe beside this msgsvc.exe), and no other. The installer runs it before it
// replaces or removes the programs of one installation: a Lumivale.exe that runs keeps its
// file open, and its service watch would start msgsvc.exe again once that is stopped.
// Those that can be asked (messenger/ExitContract.h) end as a confirmed Exit does; the
// others, and the asked ones still running after kLumivaleExitBoundMs, are ended outright,
// which loses no received message: each is in the log's journal before its pop-up closes,
// and the next start folds it in. The exit code tells the installer whether one ran (to
// start it again afterwards). This part is portable; the Win32 part is in StopService.
#include <optional>
#include <string>
#include <vector>

namespace lv::messenger {

// The program file whose processes /exit ends, when the command line asks for an exit; its
// arguments as the C runtime splits them (program name first). `selfDirectory`: the folder
// of msgsvc.exe, with its trailing backslash.
std::optional<std::wstring> LumivaleExitRequest(int argc, wchar_t** argv,
                                                const std::wstring& selfDirectory);

// How long the asked processes have to end, all together. A confirmed Exit waits for a send
// under way until that send's own deadline (about 26 s for an address that never answers),
// so that its record is kept, and then folds the logs; the rest is margin for a busy
// machine. After it they are ended outright: an update must not fail on a Lumivale that
// hangs, and a send that has not ended by then has no record worth waiting for.
inline constexpr unsigned kLumivaleExitBoundMs = 35000;

// What became of one Lumivale.exe of the path.
enum class LumivaleEnd {
    kOnRequest, // asked, and it ended by itself
    kOutright,  // ended outright: it could not be asked, or had not ended within the bound
    kRunning,   // it could not be ended
};

// Exit codes of msgsvc.exe /exit.
inline constexpr int kExitNoneRan = 0;
inline constexpr int kExitNotEnded = 4; // as /stop's: one is still running
inline constexpr int kExitEndedOnRequest = 5;
inline constexpr int kExitEndedOutright = 6;

// The code for the processes found: the worst outcome of any of them.
int LumivaleExitCode(const std::vector<LumivaleEnd>& ends);

} // namespace lv::messenger
