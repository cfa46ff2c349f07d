#include "messenger/ServiceLauncher.h"

#include "framework/Files.h"
#include "messenger/msgsvc/ServiceConfig.h"
#include "messenger/msgsvc/ServiceFiles.h"
#include "messenger/msgsvc/SingleInstance.h"

#include <windows.h>

namespace lv::messenger {

HANDLE StartMessengerServiceIfNeeded() {
    ServiceConfig config = ReadServiceConfig(ReadServiceIni());
    // With a broken msgsvc.ini the service is still started: it writes why it cannot run
    // to its log and error output, where a user looks, instead of Lumivale guessing.
    if (config.error.empty() && ServiceInstanceRunning(config))
        return nullptr;
    std::wstring dir = lv::ExecutableDirectory();
    std::wstring exe = dir + L"msgsvc.exe";
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                       CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP, nullptr, dir.c_str(), &startup,
                       &process)) {
        CloseHandle(process.hThread);
        return process.hProcess;
    }
    return nullptr;
}

} // namespace lv::messenger
