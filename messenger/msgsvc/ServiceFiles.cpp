#include "messenger/msgsvc/ServiceFiles.h"

#include <windows.h>

namespace lv::messenger {

namespace {

struct FileHandle {
    HANDLE h;
    explicit FileHandle(HANDLE handle) : h(handle) {}
    ~FileHandle() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
};

} // namespace

std::wstring ExePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring ExeDirectory() {
    std::wstring path = ExePath();
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes;
    char buf[4096];
    DWORD got = 0;
    // A settings file is small; stop at 1 MB so a wrong file cannot eat the memory.
    while (bytes.size() < (1u << 20) && ReadFile(file.h, buf, sizeof buf, &got, nullptr) && got > 0)
        bytes.append(buf, got);
    return bytes;
}

std::string ReadServiceIni() {
    return ReadFileBytes(ExeDirectory() + L"msgsvc.ini").value_or(std::string());
}

void AppendLine(const std::wstring& path, std::string_view line) {
    FileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.h == INVALID_HANDLE_VALUE)
        return;
    std::string data(line);
    data += "\r\n";
    DWORD written = 0;
    WriteFile(file.h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
}

} // namespace lv::messenger
