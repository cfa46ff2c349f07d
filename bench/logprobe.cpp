// logprobe: what recording a message costs the thread that records it, and how long the
// log's writer takes to put a burst on disk, with a receive log of any size, timed under
// Wine with the program's own log (messagelog/MessageLog.cpp, messagelog/DiskLogFile.cpp,
// framework/Files.cpp). Built by bench/log_scale.sh.
//
//   logprobe PATH BURST     PATH holds the log (it is replaced)
//
// Prints one line: "load <ms> prepend <median ms> max <ms> burst <ms> writes <n>": loading
// and reading back the journal at start-up; MessageLog::Prepend (the journal's append and
// flush: the part of a capture that touches the log) for 20 single records, each after the
// writer has folded the one before; then BURST records put in front at once and the time
// until every one of them is in the file, with the number of rewrites that took.
#include "framework/Files.h"
#include "messagelog/DiskLogFile.h"
#include "messagelog/MessageLog.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <limits>
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

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3)
        return 2;
    std::wstring path = argv[1];
    const int burst = std::clamp(_wtoi(argv[2]), 1, 2000);
    const std::string record = "2026\xC4\xEA" "1\xD4\xC2" "2\xC8\xD5 3:4\r\n\xB7\xA2\xCB\xCD\xD5\xDF:probe\r\n"
                               "-----------------\r\nprobe\r\n\r\n\r\n\r\n\r\n";
    double t = NowMs();
    lv::MessageLog log(std::make_unique<lv::DiskLogFile>(path));
    lv::FileRead read = lv::ReadFileBounded(path, std::numeric_limits<size_t>::max() - 1);
    if (read.status != lv::ReadStatus::Ok)
        return 1;
    log.Load(std::move(read.bytes));
    log.Recover();
    const double load = NowMs() - t;

    std::vector<double> prepend;
    for (int i = 0; i < 20; ++i) {
        t = NowMs();
        log.Prepend(record);
        prepend.push_back(NowMs() - t);
        if (!log.WaitWritten(120000))
            return 1;
    }
    std::sort(prepend.begin(), prepend.end());
    const size_t writesBefore = log.FileWrites();
    t = NowMs();
    for (int i = 0; i < burst; ++i)
        log.Prepend(record);
    const bool written = log.WaitWritten(600000);
    const double burstMs = NowMs() - t;
    std::printf("load %.0f prepend %.2f max %.2f burst %.0f writes %zu%s\n", load,
                prepend[prepend.size() / 2], prepend.back(), burstMs, log.FileWrites() - writesBefore,
                written ? "" : " (not all written)");
    return written ? 0 : 1;
}
