#include "framework/Files.h"

#include <windows.h>

#include <memory>

namespace lv {
namespace {

std::wstring& DirectoryOverride() {
    static std::wstring directory;
    return directory;
}

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

FileHandle OpenFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
    HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    return FileHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

} // namespace

std::wstring ExecutableDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring AppDirectory() {
    if (!DirectoryOverride().empty())
        return DirectoryOverride();
    static const std::wstring directory = ExecutableDirectory();
    return directory;
}

void SetAppDirectory(std::wstring directory) {
    if (!directory.empty() && directory.back() != L'\\' && directory.back() != L'/')
        directory += L'\\';
    DirectoryOverride() = std::move(directory);
}

std::optional<std::string> ReadWholeFile(const std::wstring& path, size_t maxBytes) {
    FileHandle file =
        OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (!file)
        return std::nullopt;
    std::string bytes;
    char buffer[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr))
            return std::nullopt;
        if (got == 0)
            break;
        if (got > maxBytes - bytes.size())
            return std::nullopt;
        bytes.append(buffer, got);
    }
    return bytes;
}

bool WriteFileAtomic(const std::wstring& path, std::string_view bytes) {
    const std::wstring temp = path + L".tmp";
    {
        FileHandle file = OpenFile(temp, GENERIC_WRITE, 0, CREATE_ALWAYS);
        if (!file)
            return false;
        size_t done = 0;
        while (done < bytes.size()) {
            DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
            DWORD wrote = 0;
            if (!WriteFile(file.get(), bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) {
                file.reset();
                DeleteFileW(temp.c_str());
                return false;
            }
            done += wrote;
        }
        if (!FlushFileBuffers(file.get())) {
            file.reset();
            DeleteFileW(temp.c_str());
            return false;
        }
    }
    if (!MoveFileExW(temp.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

} // namespace lv
