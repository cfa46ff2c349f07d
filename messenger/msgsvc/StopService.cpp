#include "messenger/msgsvc/StopService.h"

#include "framework/Files.h"
#include "messenger/ExitContract.h"

#include <windows.h>

#include <tlhelp32.h>

#include <memory>

namespace lv::messenger {
namespace {

// Long enough for Windows to end a process and let go of its image file, which is what
// the installer waits for.
constexpr DWORD kEndWait = 5000;

struct Handle {
    HANDLE h;
    ~Handle() {
        if (h && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

// A process found by its program file, opened to be waited for and ended.
struct Found {
    DWORD pid;
    std::unique_ptr<Handle> process;
    bool asked = false;
};

std::wstring FileName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring ImagePath(HANDLE process) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(path.size());
        if (QueryFullProcessImageNameW(process, 0, path.data(), &size)) {
            path.resize(size);
            return path;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || path.size() > 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

// Every process of `program` except the calling one, or nothing when the processes cannot
// be listed (`listed` false). `waitOnly`: also those that may be waited for but not ended
// (run as administrator while we are not).
std::vector<Found> ProcessesOf(const std::wstring& program, bool waitOnly, bool& listed) {
    std::vector<Found> found;
    Handle snapshot{CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)};
    listed = snapshot.h != INVALID_HANDLE_VALUE;
    if (!listed)
        return found;
    const std::wstring name = FileName(program);
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.h, &entry); more;
         more = Process32NextW(snapshot.h, &entry)) {
        if (entry.th32ProcessID == self || !SameText(entry.szExeFile, name))
            continue;
        // Another account's processes cannot be opened: they are not ours to end, and a
        // per-user installation's folder is not where they run from.
        std::unique_ptr<Handle> process(new Handle{
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                        entry.th32ProcessID)});
        if (!process->h && waitOnly)
            process->h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                     entry.th32ProcessID);
        if (!process->h || !SamePath(ImagePath(process->h), program))
            continue;
        found.push_back(Found{entry.th32ProcessID, std::move(process)});
    }
    return found;
}

// True once the process is gone; it may have ended by itself since it was found, and
// TerminateProcess refuses a process that has.
bool EndNow(HANDLE process) {
    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0)
        return true;
    TerminateProcess(process, 0);
    return WaitForSingleObject(process, kEndWait) == WAIT_OBJECT_0;
}

} // namespace

std::optional<std::wstring> StopRequest(int argc, wchar_t** argv, const std::wstring& self) {
    if (argc < 2 || !SameText(argv[1], L"/stop"))
        return std::nullopt;
    return argc > 2 ? std::wstring(argv[2]) : self;
}

bool StopServicesRunningFrom(const std::wstring& program) {
    bool listed = false;
    bool allEnded = true;
    for (Found& service : ProcessesOf(program, false, listed))
        allEnded = EndNow(service.process->h) && allEnded;
    return listed && allEnded;
}

std::vector<LumivaleEnd> EndLumivaleRunningFrom(const std::wstring& program, unsigned boundMs) {
    bool listed = false;
    std::vector<Found> found = ProcessesOf(program, true, listed);
    if (!listed)
        return {LumivaleEnd::kRunning};
    // Ask each process that listens (its window on this desktop), once.
    const UINT request = RegisterWindowMessageW(kExitRequestMessage);
    for (HWND window = nullptr;
         request && (window = FindWindowExW(HWND_MESSAGE, window, kExitRequestClass, nullptr));) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        for (Found& lumivale : found)
            if (lumivale.pid == pid && !lumivale.asked)
                lumivale.asked = PostMessageW(window, request, 0, 0) != FALSE;
    }
    std::vector<LumivaleEnd> ends;
    // Those that cannot be asked would only be waited for in vain.
    for (Found& lumivale : found)
        if (!lumivale.asked)
            ends.push_back(EndNow(lumivale.process->h) ? LumivaleEnd::kOutright
                                                       : LumivaleEnd::kRunning);
    const ULONGLONG deadline = GetTickCount64() + boundMs;
    for (Found& lumivale : found) {
        if (!lumivale.asked)
            continue;
        ULONGLONG now = GetTickCount64();
        DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        if (WaitForSingleObject(lumivale.process->h, left) == WAIT_OBJECT_0)
            ends.push_back(LumivaleEnd::kOnRequest);
        else
            ends.push_back(EndNow(lumivale.process->h) ? LumivaleEnd::kOutright
                                                       : LumivaleEnd::kRunning);
    }
    return ends;
}

} // namespace lv::messenger
