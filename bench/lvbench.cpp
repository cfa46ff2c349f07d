// lvbench: the Windows side of the benchmarks, run under Wine next to the real programs so
// that every time is taken with the clock and the file system the programs themselves see.
// The bench scripts compile it with mingw-w64 (no project libraries).
//
//   lvbench startup EXE MS          start EXE (working folder: its own), wait until its
//                                   visible top-level window "Lumivale" answers a message,
//                                   then press its history button (107) and wait until the
//                                   history viewer is visible, answers and its receive area
//                                   (403) holds text (when receive.txt is not empty) or the
//                                   viewer answered. Prints "window W answer A history H
//                                   chars C" (ms from the start; C: the receive area's length)
//                                   and ends the process. MS bounds each wait.
//   lvbench window EXE TITLE MS     start EXE (working folder: its own), wait until its
//                                   visible top-level window TITLE answers a message, then
//                                   one second more. Prints "window W answer A rss R" (ms
//                                   from the start; R: its working set in KB then) and ends
//                                   the process (and a msgsvc.exe it started is left alone).
//   lvbench gui NAME...             for each running process of that executable name:
//                                   "NAME pid P gdi G user U" (GetGuiResources; 0 where the
//                                   system does not count them)
//   lvbench write PATH BYTES        writes BYTES into PATH three ways, each three times:
//                                   plain (create, write in 1 MB pieces, close), flushed
//                                   (plus FlushFileBuffers) and atomic (flushed into
//                                   PATH.tmp, then MoveFileEx over PATH). Prints the median
//                                   ms of each: "plain P flushed F atomic A".
//   lvbench capture TITLE PATH MS   watches for a top-level window of caption TITLE and for
//                                   PATH changing size (polled every millisecond). Prints
//                                   "ready", then once the window has come and gone and the
//                                   file has changed: "popup 0 closed C replaced R" (ms from
//                                   the window's appearance). Exit 1 when MS pass first.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

LARGE_INTEGER g_frequency;

double NowMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(g_frequency.QuadPart);
}

struct Search {
    std::wstring title;
    DWORD process = 0; // 0: any
    bool visibleOnly = false;
    HWND found = nullptr;
};

BOOL CALLBACK ByCaption(HWND h, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    wchar_t text[64] = {};
    GetWindowTextW(h, text, 64);
    if (s->title != text)
        return TRUE;
    if (s->visibleOnly && !IsWindowVisible(h))
        return TRUE;
    if (s->process) {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid != s->process)
            return TRUE;
    }
    s->found = h;
    return FALSE;
}

HWND Find(const std::wstring& title, DWORD process, bool visibleOnly) {
    Search s{title, process, visibleOnly, nullptr};
    EnumWindows(ByCaption, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

bool Answers(HWND h) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored) != 0;
}

// A program started in its own folder, the clock started just before, and its window.
struct Launched {
    PROCESS_INFORMATION pi{};
    double start = 0;
    HWND window = nullptr;
    double windowMs = 0, answerMs = 0; // from the start: the window there, then answering
    int finish(int code) {
        TerminateProcess(pi.hProcess, 0);
        WaitForSingleObject(pi.hProcess, 10000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return code;
    }
};

// Starts EXE and waits until its visible top-level window TITLE exists and answers. 0 when it
// does; else the exit code: 2 when EXE did not start, 1 (the process ended) when the window
// did not appear within `limit` ms or did not answer.
int LaunchUntilAnswering(const std::wstring& exe, const std::wstring& title, DWORD limit,
                         Launched& launched) {
    std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/") + 1);
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    launched.start = NowMs();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &launched.pi)) {
        fprintf(stderr, "lvbench: cannot start the program (%lu)\n", GetLastError());
        return 2;
    }
    while (!(launched.window = Find(title, launched.pi.dwProcessId, true))) {
        if (NowMs() - launched.start > limit) {
            fprintf(stderr, "lvbench: the window did not appear\n");
            return launched.finish(1);
        }
        Sleep(1);
    }
    launched.windowMs = NowMs() - launched.start;
    if (!Answers(launched.window))
        return launched.finish(1);
    launched.answerMs = NowMs() - launched.start;
    return 0;
}

int Startup(const std::wstring& exe, DWORD limit) {
    Launched launched;
    if (int failed = LaunchUntilAnswering(exe, L"Lumivale", limit, launched))
        return failed;
    const std::wstring historyTitle = L"Lumivale\xFF0D\x67E5\x770B\x804A\x5929\x8BB0\x5F55";
    double pressed = NowMs();
    PostMessageW(GetDlgItem(launched.window, 107), BM_CLICK, 0, 0);
    HWND history = nullptr;
    while (!(history = Find(historyTitle, launched.pi.dwProcessId, true))) {
        if (NowMs() - pressed > limit) {
            fprintf(stderr, "lvbench: the history viewer did not appear\n");
            return launched.finish(1);
        }
        Sleep(1);
    }
    Answers(history);
    double shown = NowMs() - pressed;
    LRESULT chars = SendMessageW(GetDlgItem(history, 403), WM_GETTEXTLENGTH, 0, 0);
    printf("window %.0f answer %.0f history %.0f chars %ld\n", launched.windowMs, launched.answerMs,
           shown, static_cast<long>(chars));
    return launched.finish(0);
}

int GuiObjects(int argc, wchar_t** argv) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        for (int i = 2; i < argc; ++i) {
            if (_wcsicmp(entry.szExeFile, argv[i]) != 0)
                continue;
            HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
            if (!process)
                continue;
            printf("%ls pid %lu gdi %lu user %lu\n", argv[i], entry.th32ProcessID,
                   GetGuiResources(process, GR_GDIOBJECTS), GetGuiResources(process, GR_USEROBJECTS));
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
    return 0;
}

int WindowStartup(const std::wstring& exe, const std::wstring& title, DWORD limit) {
    Launched launched;
    if (int failed = LaunchUntilAnswering(exe, title, limit, launched))
        return failed;
    Sleep(1000);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(launched.pi.hProcess, &counters, sizeof counters);
    printf("window %.0f answer %.0f rss %llu\n", launched.windowMs, launched.answerMs,
           static_cast<unsigned long long>(counters.WorkingSetSize / 1024));
    return launched.finish(0);
}

bool WritePlain(const std::wstring& path, const std::string& bytes, bool flush) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD wrote = 0;
        ok = WriteFile(h, bytes.data() + done, chunk, &wrote, nullptr) && wrote > 0;
        done += wrote;
    }
    if (ok && flush)
        ok = FlushFileBuffers(h);
    CloseHandle(h);
    return ok;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int Write(const std::wstring& path, size_t size) {
    std::string bytes;
    bytes.reserve(size);
    // Log-like content: GBK text with line ends.
    const std::string line = "\xB7\xA2\xCB\xCD\xD5\xDF:bench\r\n\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7\r\n";
    while (bytes.size() < size)
        bytes += line;
    bytes.resize(size);
    std::vector<double> plain, flushed, atomic;
    const std::wstring temp = path + L".tmp";
    for (int i = 0; i < 3; ++i) {
        double t = NowMs();
        if (!WritePlain(path, bytes, false))
            return 1;
        plain.push_back(NowMs() - t);
        t = NowMs();
        if (!WritePlain(path, bytes, true))
            return 1;
        flushed.push_back(NowMs() - t);
        t = NowMs();
        if (!WritePlain(temp, bytes, true) ||
            !MoveFileExW(temp.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return 1;
        atomic.push_back(NowMs() - t);
    }
    DeleteFileW(path.c_str());
    printf("plain %.1f flushed %.1f atomic %.1f\n", Median(plain), Median(flushed), Median(atomic));
    return 0;
}

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int Capture(const std::wstring& title, const std::wstring& path, DWORD limit) {
    long long before = FileSize(path);
    printf("ready\n");
    fflush(stdout);
    double start = NowMs(), popup = -1, closed = -1, replaced = -1;
    while (NowMs() - start < limit) {
        double now = NowMs();
        bool present = Find(title, 0, false) != nullptr;
        if (popup < 0 && present)
            popup = now;
        if (popup >= 0 && closed < 0 && !present)
            closed = now;
        if (popup >= 0 && replaced < 0 && FileSize(path) != before)
            replaced = now;
        if (closed >= 0 && replaced >= 0)
            break;
        Sleep(1);
    }
    if (closed < 0 || replaced < 0) {
        fprintf(stderr, "lvbench: %s\n", popup < 0 ? "no pop-up" : "the capture did not finish");
        return 1;
    }
    printf("popup 0 closed %.1f replaced %.1f\n", closed - popup, replaced - popup);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    QueryPerformanceFrequency(&g_frequency);
    if (argc < 4) {
        fprintf(stderr, "usage: lvbench startup EXE MS | write PATH BYTES | capture TITLE PATH MS\n");
        return 2;
    }
    std::wstring cmd = argv[1];
    if (cmd == L"gui")
        return GuiObjects(argc, argv);
    if (cmd == L"window" && argc >= 5)
        return WindowStartup(argv[2], argv[3], static_cast<DWORD>(wcstoul(argv[4], nullptr, 10)));
    if (cmd == L"startup")
        return Startup(argv[2], static_cast<DWORD>(wcstoul(argv[3], nullptr, 10)));
    if (cmd == L"write")
        return Write(argv[2], static_cast<size_t>(wcstoull(argv[3], nullptr, 10)));
    if (cmd == L"capture" && argc >= 5)
        return Capture(argv[2], argv[3], static_cast<DWORD>(wcstoul(argv[4], nullptr, 10)));
    fprintf(stderr, "lvbench: unknown command\n");
    return 2;
}
