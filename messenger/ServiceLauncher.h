#pragma once
// Lumivale.exe takes its messages from msgsvc.exe's pop-ups, so it makes sure the service
// runs: msgsvc.exe from Lumivale's own folder, for the address and port in msgsvc.ini there.

#include <windows.h>

namespace lv::messenger {

// Starts msgsvc.exe unless one already runs for this configuration (its mutex exists).
// Never fails loudly: without the service Lumivale still runs, it just receives nothing;
// ServiceWatch finds out and says why. The started process's handle, for the caller to
// close; nullptr when none was started.
HANDLE StartMessengerServiceIfNeeded();

} // namespace lv::messenger
