#include "messenger/msgsvc/StopService.h"

#include "framework/Files.h"

#include <windows.h>

#include <tlhelp32.h>

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

} // namespace

std::optional<std::wstring> StopRequest(int argc, wchar_t** argv, const std::wstring& self) {
    if (argc < 2 || !SameText(argv[1], L"/stop"))
        return std::nullopt;
    return argc > 2 ? std::wstring(argv[2]) : self;
}

bool StopServicesRunningFrom(const std::wstring& program) {
    Handle snapshot{CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)};
    if (snapshot.h == INVALID_HANDLE_VALUE)
        return false;
    const std::wstring name = FileName(program);
    const DWORD self = GetCurrentProcessId();
    bool allEnded = true;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.h, &entry); more;
         more = Process32NextW(snapshot.h, &entry)) {
        if (entry.th32ProcessID == self || !SameText(entry.szExeFile, name))
            continue;
        // Another account's processes cannot be opened: they are not ours to end, and a
        // per-user installation's folder is not where they run from.
        Handle process{
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                        entry.th32ProcessID)};
        if (!process.h || !SamePath(ImagePath(process.h), program))
            continue;
        if (!TerminateProcess(process.h, 0) ||
            WaitForSingleObject(process.h, kEndWait) != WAIT_OBJECT_0)
            allEnded = false;
    }
    return allEnded;
}

} // namespace lv::messenger
