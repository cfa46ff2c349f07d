#include "framework/Files.h"

#include <windows.h>

#include <algorithm>
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

std::wstring ExecutablePath() {
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

std::wstring ExecutableDirectory() {
    std::wstring path = ExecutablePath();
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

namespace {

// A path in its full, long form where it can be resolved; as given otherwise.
std::wstring Canonical(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        DWORD n =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0)
            return path;
        if (n < full.size()) {
            full.resize(n);
            break;
        }
        full.resize(n);
    }
    // A copy started through its 8.3 name (an old shortcut, a command line) reports the short
    // form; the long form of an existing file is the same for both.
    std::wstring longer(full.size() + 1, L'\0');
    for (;;) {
        DWORD n = GetLongPathNameW(full.c_str(), longer.data(), static_cast<DWORD>(longer.size()));
        if (n == 0)
            return full;
        if (n < longer.size()) {
            longer.resize(n);
            return longer;
        }
        longer.resize(n);
    }
}

} // namespace

bool SamePath(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty())
        return false;
    std::wstring x = Canonical(a), y = Canonical(b);
    return CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                                static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
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

FileRead ReadFileBounded(const std::wstring& path, size_t maxBytes) {
    FileRead result;
    FileHandle file =
        OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (!file) {
        DWORD error = GetLastError();
        result.status = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                            ? ReadStatus::Missing
                            : ReadStatus::Unreadable;
        return result;
    }
    char buffer[64 * 1024];
    for (;;) {
        DWORD want =
            static_cast<DWORD>(std::min<size_t>(sizeof buffer, maxBytes - result.bytes.size() + 1));
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, want, &got, nullptr)) {
            result.bytes.clear();
            result.status = ReadStatus::Unreadable;
            return result;
        }
        if (got == 0)
            break;
        if (got > maxBytes - result.bytes.size()) {
            result.bytes.append(buffer, maxBytes - result.bytes.size());
            result.status = ReadStatus::TooLarge;
            return result;
        }
        result.bytes.append(buffer, got);
    }
    result.status = ReadStatus::Ok;
    return result;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path, size_t maxBytes) {
    if (maxBytes == static_cast<size_t>(-1))
        maxBytes -= 1;
    FileRead read = ReadFileBounded(path, maxBytes);
    if (read.status != ReadStatus::Ok)
        return std::nullopt;
    return std::move(read.bytes);
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
