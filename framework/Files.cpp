#include "framework/Files.h"

#include "framework/FileRetry.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

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

bool WriteAll(HANDLE file, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD wrote = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0)
            return false;
        done += wrote;
    }
    return true;
}

constexpr unsigned kMainThreadAppendLimitMs = 250;

struct MainThreadWait {
    DWORD thread = 0;
    std::function<void(unsigned)> wait;
    bool waiting = false;
};

MainThreadWait& TheMainThreadWait() {
    static MainThreadWait w;
    return w;
}

void WaitForHolder(unsigned milliseconds) {
    MainThreadWait& w = TheMainThreadWait();
    if (!w.wait || w.waiting || w.thread != GetCurrentThreadId()) {
        Sleep(milliseconds);
        return;
    }
    struct Flag {
        bool& f;
        explicit Flag(bool& b) : f(b) { f = true; }
        ~Flag() { f = false; }
    } flag(w.waiting);
    w.wait(milliseconds);
}

FileRetryClock HolderClock() {
    return {[] { return static_cast<uint64_t>(GetTickCount64()); }, WaitForHolder};
}

// Which replace of a file is the latest, so that one overtaken during its wait by a newer
// one (same thread, from a handler the wait ran) leaves the file to it.
struct ReplaceRecord {
    uint64_t latest = 0;
    bool result = false;
};
std::mutex replaceLock;
std::map<std::wstring, ReplaceRecord> replaces;

std::wstring ReplaceKey(const std::wstring& path) {
    std::wstring key = path;
    CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    return key;
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
        result.error = error;
        return result;
    }
    // A log of hundreds of megabytes is read into one allocation, not grown by doubling.
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0)
        result.bytes.reserve(static_cast<size_t>(std::min<unsigned long long>(
            static_cast<unsigned long long>(size.QuadPart), maxBytes)));
    char buffer[64 * 1024];
    for (;;) {
        DWORD want =
            static_cast<DWORD>(std::min<size_t>(sizeof buffer, maxBytes - result.bytes.size() + 1));
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, want, &got, nullptr)) {
            result.error = GetLastError();
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

FileRead ReadFileBoundedWhenFree(const std::wstring& path, size_t maxBytes) {
    FileRead read;
    RetryWhileHeld(
        [&]() -> unsigned long {
            read = ReadFileBounded(path, maxBytes);
            return read.status == ReadStatus::Unreadable ? read.error : 0;
        },
        HolderClock());
    return read;
}

std::optional<std::string> ReadWholeFile(const std::wstring& path, size_t maxBytes) {
    if (maxBytes == static_cast<size_t>(-1))
        maxBytes -= 1;
    FileRead read = ReadFileBounded(path, maxBytes);
    if (read.status != ReadStatus::Ok)
        return std::nullopt;
    return std::move(read.bytes);
}

KeptCopy KeepCopyBeside(const std::wstring& path) {
    KeptCopy result;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            result.status = CopyStatus::NoSource;
        return result;
    }
    for (int n = 0; n < 1000; ++n) {
        std::wstring copy = path + L".bak" + (n ? std::to_wstring(n) : std::wstring());
        // Anything by that name, a directory too, is someone's and stays.
        if (GetFileAttributesW(copy.c_str()) != INVALID_FILE_ATTRIBUTES)
            continue;
        if (!CopyFileW(path.c_str(), copy.c_str(), TRUE)) {
            DWORD error = GetLastError();
            // Taken between the look and the copy: the next name.
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                continue;
            return result;
        }
        // The original goes next: the copy must not be lost with it to a crash.
        FileHandle file = OpenFile(copy, GENERIC_WRITE, 0, OPEN_EXISTING);
        if (!file || !FlushFileBuffers(file.get()))
            return result;
        result.status = CopyStatus::Made;
        result.path = std::move(copy);
        return result;
    }
    return result;
}

bool WriteFileAtomic(const std::wstring& path, std::string_view bytes) {
    return WriteFileAtomic(path, std::vector<std::string_view>{bytes});
}

bool WriteFileAtomic(const std::wstring& path, const std::vector<std::string_view>& pieces) {
    const std::wstring temp = path + L".tmp";
    const std::wstring key = ReplaceKey(path);
    uint64_t mine;
    {
        std::lock_guard<std::mutex> hold(replaceLock);
        mine = ++replaces[key].latest;
    }
    auto overtaken = [&] {
        std::lock_guard<std::mutex> hold(replaceLock);
        return replaces[key].latest != mine;
    };
    auto finish = [&](bool ok) {
        std::lock_guard<std::mutex> hold(replaceLock);
        ReplaceRecord& record = replaces[key];
        if (record.latest == mine)
            record.result = ok;
        // Overtaken: the newer replace has put its content there (or failed to) and the
        // temporary file is its own; the file is as it left it.
        return record.latest == mine ? ok : record.result;
    };
    {
        FileHandle file;
        RetryWhileHeld(
            [&]() -> unsigned long {
                file = OpenFile(temp, GENERIC_WRITE, 0, CREATE_ALWAYS);
                return file ? 0 : GetLastError();
            },
            HolderClock(), overtaken);
        if (overtaken())
            return finish(false);
        if (!file)
            return finish(false);
        auto fail = [&] {
            file.reset();
            DeleteFileW(temp.c_str());
            return finish(false);
        };
        for (std::string_view bytes : pieces) {
            if (!WriteAll(file.get(), bytes))
                return fail();
        }
        if (!FlushFileBuffers(file.get()))
            return fail();
    }
    unsigned long error = RetryWhileHeld(
        [&]() -> unsigned long {
            return MoveFileExW(temp.c_str(), path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                       ? 0
                       : GetLastError();
        },
        HolderClock(), overtaken);
    if (overtaken())
        return finish(false);
    if (error != 0) {
        DeleteFileW(temp.c_str());
        return finish(false);
    }
    return finish(true);
}

bool AppendFileFlushed(const std::wstring& path, std::string_view bytes) {
    // The main thread appends a received message's record with the log's lock held and in
    // the middle of a capture: it cannot run other handlers meanwhile, so it only waits a
    // moment; a record not appended stays in memory and the log's writer thread, which may
    // wait the whole time, puts it into the log.
    const MainThreadWait& w = TheMainThreadWait();
    const bool mainThread = w.wait && w.thread == GetCurrentThreadId();
    FileHandle file;
    RetryWhileHeld(
        [&]() -> unsigned long {
            file = OpenFile(path, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS);
            return file ? 0 : GetLastError();
        },
        {[] { return static_cast<uint64_t>(GetTickCount64()); }, [](unsigned ms) { Sleep(ms); }},
        {}, mainThread ? kMainThreadAppendLimitMs : kFileRetryLimitMs);
    return file && WriteAll(file.get(), bytes) && FlushFileBuffers(file.get());
}

bool DeleteFileIfPresent(const std::wstring& path) {
    return DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
           GetLastError() == ERROR_PATH_NOT_FOUND;
}

bool CanCreateFileIn(const std::wstring& directory) {
    // A name of its own, so that no file of the user's is touched; one left by a crash
    // is simply made again.
    const std::wstring probe = directory + L"Lumivale.write-test.tmp";
    {
        FileHandle file = OpenFile(probe, GENERIC_WRITE, 0, CREATE_ALWAYS);
        if (!file)
            return false;
    }
    return DeleteFileW(probe.c_str()) != FALSE;
}

void SetMainThreadFileWait(std::function<void(unsigned milliseconds)> wait) {
    MainThreadWait& w = TheMainThreadWait();
    w.thread = GetCurrentThreadId();
    w.wait = std::move(wait);
}

} // namespace lv
