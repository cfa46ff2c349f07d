// logprobe: where a capture's time goes with a large receive log, outside the program: the
// log component itself (info/MessageLog.cpp) and the file write it uses
// (framework/Files.cpp WriteFileAtomic), timed under Wine. Built by bench/capture_large_log.sh.
//
//   logprobe PATH      PATH holds the log (it is replaced five times, one record at a time)
//
// Prints the median ms of five of each: the prepend alone (the log's memory, no file), the
// atomic write alone, the atomic write without its FlushFileBuffers, and both as the capture
// does them (prepend and write).
#include "framework/Files.h"
#include "info/MessageLog.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

class NoFile : public lv::LogFile {
  public:
    bool Replace(std::string_view) override { return true; }
    bool Remove() override { return true; }
};

class DiskFile : public lv::LogFile {
  public:
    explicit DiskFile(std::wstring path) : path_(std::move(path)) {}
    bool Replace(std::string_view bytes) override { return lv::WriteFileAtomic(path_, bytes); }
    bool Remove() override { return true; }

  private:
    std::wstring path_;
};

// WriteFileAtomic's steps without the flush.
bool WriteUnflushed(const std::wstring& path, std::string_view bytes) {
    std::wstring temp = path + L".tmp";
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD wrote = 0;
        if (!WriteFile(h, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0)
            break;
        done += wrote;
    }
    CloseHandle(h);
    return done == bytes.size() &&
           MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2)
        return 2;
    std::wstring path = argv[1];
    auto bytes = lv::ReadWholeFile(path, 64u << 20);
    if (!bytes)
        return 1;
    const std::string record = "2026\xC4\xEA" "1\xD4\xC2" "2\xC8\xD5 3:4\r\n\xB7\xA2\xCB\xCD\xD5\xDF:probe\r\n"
                               "-----------------\r\nprobe\r\n\r\n\r\n\r\n\r\n";
    lv::MessageLog memory(std::make_unique<NoFile>());
    memory.Load(*bytes);
    lv::MessageLog disk(std::make_unique<DiskFile>(path));
    disk.Load(*bytes);
    std::vector<double> prepend, write, unflushed, both;
    for (int i = 0; i < 5; ++i) {
        double t = NowMs();
        memory.Prepend(record);
        prepend.push_back(NowMs() - t);
        std::string text = disk.Text();
        t = NowMs();
        lv::WriteFileAtomic(path, text);
        write.push_back(NowMs() - t);
        t = NowMs();
        WriteUnflushed(path, text);
        unflushed.push_back(NowMs() - t);
        t = NowMs();
        disk.Prepend(record);
        both.push_back(NowMs() - t);
    }
    printf("prepend %.1f atomic %.1f unflushed %.1f both %.1f\n", Median(prepend), Median(write),
           Median(unflushed), Median(both));
    return 0;
}
