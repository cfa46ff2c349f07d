#pragma once
// How the installer asks a running Lumivale.exe to exit before it replaces or removes the
// programs of its folder (msgsvc.exe /exit PATH finds and asks; app/ExitRequest listens).
//
// - Lumivale owns a message-only window of class kExitRequestClass from early in its
//   start-up; the asker finds every such window (FindWindowEx on HWND_MESSAGE), keeps those
//   of the Lumivale.exe processes started from PATH, and posts each the registered message
//   kExitRequestMessage (no parameters).
// - Lumivale then ends as a confirmed Exit does (position saved, tray icon removed, logs
//   folded), without asking, whatever dialog or message box is open.
// - A Lumivale.exe of PATH without that window is of an older version (or has not got that
//   far in its start-up): it cannot be asked.
namespace lv {

inline constexpr wchar_t kExitRequestClass[] = L"LumivaleExitRequest";
inline constexpr wchar_t kExitRequestMessage[] = L"LumivaleExitRequest";

} // namespace lv
