// lvsendmany N TO: starts N send workers at once, each sending one message to TO the way the
// send window does (TSendThread, our NetMessageBufferSend with the port from msgsvc.ini
// beside this program), all logging into send.txt beside this program. Waits for them, then
// prints "sent S failed F ms T": how many the service accepted, refused, and the time from
// the first start to the last result.
#include "framework/Application.h"
#include "framework/Files.h"
#include "framework/Gbk.h"
#include "messagelog/DiskLogFile.h"
#include "send/SendThread.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fputs("usage: lvsendmany N TO\n", stderr);
        return 2;
    }
    const int n = static_cast<int>(std::wcstol(argv[1], nullptr, 10));
    const std::string to = lv::ToGbk(argv[2]);
    lv::App().Initialize();
    auto log = std::make_shared<lv::MessageLog>(
        std::make_unique<lv::DiskLogFile>(lv::ExecutableDirectory() + L"send.txt"));
    std::atomic<int> sent{0}, failed{0};
    lv::SendContext context;
    context.log = log;
    context.statusLine = [&](std::string line) {
        if (line.ends_with(lv::kSentResult))
            ++sent;
        else if (line.ends_with(lv::kFailedResult))
            ++failed;
    };
    ULONGLONG start = GetTickCount64();
    for (int i = 0; i < n; ++i) {
        lv::SendJob job{"bench" + std::to_string(i), to,
                        "第" + std::to_string(i) + "条\r\n" + std::string(200, 'a' + i % 26), "bench"};
        new lv::TSendThread(std::move(job), context);
    }
    while (lv::App().WorkerCount() > 0 && GetTickCount64() - start < 120000)
        Sleep(1);
    log->Finish(60000);
    std::printf("sent %d failed %d ms %llu\n", sent.load(), failed.load(),
                static_cast<unsigned long long>(GetTickCount64() - start));
    return sent == n ? 0 : 1;
}
