// lvdriver: drives the programs' windows from outside the way a user would, for the
// end-to-end tests. Windows are found by exact caption; texts go out as UTF-8.
//
//   lvdriver wait TITLE [ms]          wait until a top-level window has that caption
//   lvdriver gone TITLE [ms]          wait until none has
//   lvdriver count TITLE              how many top-level windows have it
//   lvdriver visible TITLE            1 or 0
//   lvdriver rect TITLE               window left top right bottom, then client width height
//   lvdriver text TITLE ID            text of child control ID (0: the caption)
//   lvdriver children TITLE           id, class, rectangle in client pixels, text; one a line
//   lvdriver items TITLE ID           the lines of list box ID
//   lvdriver select TITLE ID INDEX    select line INDEX of list box ID (-1: none)
//   lvdriver click TITLE ID           press button ID (posted, so a modal loop may follow)
//   lvdriver close TITLE              ask the window to close (posted WM_CLOSE)
//   lvdriver closesync TITLE          WM_CLOSE sent and waited for
//   lvdriver command TITLE ID         post WM_COMMAND ID (a menu item)
//   lvdriver settext TITLE ID TEXT    replace the text of control ID, as typing would
//   lvdriver checked TITLE ID         1 or 0: whether check box ID is ticked
//   lvdriver sethotkey TITLE ID VALUE put VALUE (HKM_SETHOTKEY's) into hot-key control ID
//   lvdriver statics TITLE            texts of the window's static controls, one a line
//   lvdriver pid TITLE                the Windows process id that owns the window
//   lvdriver enabled TITLE ID         1 or 0: whether control ID takes input
//   lvdriver watch TITLE CLICK ID TEXT MS
//                                     press button CLICK (0: none), then until control ID's
//                                     text holds TEXT (at most MS ms) keep sending the window
//                                     an empty message every 5 ms. Prints "elapsed E longest
//                                     L answered N": ms from the press until TEXT showed, the
//                                     longest the window took to answer one message, and how
//                                     many it answered; exit 1 when TEXT never showed
//   lvdriver hostaddress -            the first address of the local host name
//   lvdriver trayhost -               1 or 0: whether the shell's notification area is there
//                                     (the window Shell_NotifyIcon talks to)
//   lvdriver notready MS              a notification area that is there but takes no icon, as
//                                     at log-on before Explorer is ready: for MS ms every
//                                     Shell_NotifyIcon call fails; then it goes and the real
//                                     one announces itself (TaskbarCreated). Prints "ready"
//                                     once it refuses, "gone" at the end
//   lvdriver pollpopups TITLE MS [N]  act as a pop-up capture for MS ms (or until N are found):
//                                     every millisecond find the windows with that caption,
//                                     read control 65535 and close each. Prints "polling",
//                                     the last line of each text read, then "read R, without
//                                     text F"; exit 1 when any was found without its text
//   lvdriver latepopup TEXT MS        show a Messenger pop-up whose text control is still
//                                     empty, give the capture's notice at once, and put TEXT
//                                     in only MS ms later; serves the window until it is closed
//                                     (at most 30 s). Prints "closed after C ms" (C from the
//                                     notice); exit 1 when it was closed before its text was in
//
// A TITLE written "dialog:CAPTION" only matches dialog-class windows (message boxes), so a
// message box captioned like the main window can be told apart from it.
#include "framework/Gbk.h"
#include "messenger/PopupContract.h"
#include "presence/PresenceQuery.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include <cstdio>
#include <cwchar>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

void Print(const std::wstring& w) {
    std::string s = lv::ToUtf8(w) + "\n";
    fwrite(s.data(), 1, s.size(), stdout);
}

// Text of a window, or nothing when its owner did not answer in time (busy, not empty).
// Across processes WM_GETTEXT is marshalled by the system, so this reads any control. A
// bounded wait: one hung window anywhere in the prefix must not hang the driver.
std::optional<std::wstring> TextIfAnswered(HWND h) {
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &n))
        return std::nullopt;
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, static_cast<WPARAM>(n + 1),
                             reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000, &got))
        return std::nullopt;
    text.resize(static_cast<size_t>(got));
    return text;
}

std::wstring TextOf(HWND h) {
    return TextIfAnswered(h).value_or(std::wstring());
}

struct Search {
    std::wstring title;
    bool dialogOnly = false;
    std::vector<HWND> found;
};

std::wstring ClassOf(HWND h) {
    wchar_t cls[64] = {};
    GetClassNameW(h, cls, 64);
    return cls;
}

BOOL CALLBACK Collect(HWND h, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    if (TextOf(h) == s->title && (!s->dialogOnly || ClassOf(h) == L"#32770"))
        s->found.push_back(h);
    return TRUE;
}

std::vector<HWND> FindAll(std::wstring title) {
    Search s;
    const std::wstring prefix = L"dialog:";
    if (title.rfind(prefix, 0) == 0) {
        s.dialogOnly = true;
        title = title.substr(prefix.size());
    }
    s.title = title;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

BOOL CALLBACK PrintStatic(HWND h, LPARAM) {
    if (ClassOf(h) == L"Static" && !TextOf(h).empty())
        Print(TextOf(h));
    return TRUE;
}

HWND FindOne(const std::wstring& title) {
    auto all = FindAll(title);
    // A visible window is the one a user would be looking at. Among hidden ones, a form has
    // controls, while the program's hidden application window of the same caption has none.
    for (HWND h : all)
        if (IsWindowVisible(h))
            return h;
    for (HWND h : all)
        if (GetWindow(h, GW_CHILD))
            return h;
    return all.empty() ? nullptr : all.front();
}

BOOL CALLBACK FindById(HWND h, LPARAM p) {
    auto* found = reinterpret_cast<std::pair<int, HWND>*>(p);
    if (GetDlgCtrlID(h) != found->first)
        return TRUE;
    found->second = h;
    return FALSE;
}

// A direct child by ID, else the first descendant with it: a page's controls sit in a
// dialog inside the window (the installer's pages).
HWND Child(HWND top, int id) {
    if (id == 0)
        return top;
    if (HWND direct = GetDlgItem(top, id))
        return direct;
    std::pair<int, HWND> found{id, nullptr};
    EnumChildWindows(top, FindById, reinterpret_cast<LPARAM>(&found));
    return found.second;
}

int Fail(const char* what) {
    fprintf(stderr, "lvdriver: %s\n", what);
    return 2;
}

BOOL CALLBACK ListChild(HWND h, LPARAM p) {
    HWND top = reinterpret_cast<HWND>(p);
    std::wstring cls = ClassOf(h);
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
    wchar_t head[200];
    swprintf(head, 200, L"%d\t%ls\t%ld,%ld,%ld,%ld\t%d\t", GetDlgCtrlID(h), cls.c_str(), r.left,
             r.top, r.right - r.left, r.bottom - r.top, IsWindowVisible(h) ? 1 : 0);
    Print(head + TextOf(h));
    return TRUE;
}

BOOL CALLBACK CollectByCaption(HWND h, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    // The caption as the system keeps it, as FindWindow sees it: no message to the owner,
    // so a window is seen the moment it has the caption, whatever its thread is doing.
    wchar_t caption[64] = {};
    GetWindowTextW(h, caption, 64);
    if (caption == s->title)
        s->found.push_back(h);
    return TRUE;
}

// What a capture does, as fast as a capture may poll: a pop-up seen without its text would
// be read as empty and closed, its message lost.
int PollPopups(const std::wstring& title, DWORD limitMs, long wanted) {
    std::set<HWND> done;
    long read = 0, withoutText = 0;
    // Tells the test that the polling has begun.
    Print(L"polling");
    fflush(stdout);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < limitMs && (wanted <= 0 || read + withoutText < wanted)) {
        Search s;
        s.title = title;
        EnumWindows(CollectByCaption, reinterpret_cast<LPARAM>(&s));
        for (HWND h : s.found) {
            if (done.count(h))
                continue;
            HWND control = GetDlgItem(h, 65535);
            std::optional<std::wstring> text;
            if (control) {
                text = TextIfAnswered(control);
                if (!text)
                    continue; // busy: look again on the next pass
            }
            done.insert(h);
            if (!text || text->empty()) {
                ++withoutText;
                fprintf(stderr, "lvdriver: pop-up found without %s\n",
                        control ? "text in control 65535" : "control 65535");
                continue;
            }
            ++read;
            size_t lastLine = text->find_last_of(L'\n');
            Print(lastLine == std::wstring::npos ? *text : text->substr(lastLine + 1));
            PostMessageW(h, WM_CLOSE, 0, 0);
        }
        Sleep(1);
    }
    Print(L"read " + std::to_wstring(read) + L", without text " + std::to_wstring(withoutText));
    return withoutText == 0 ? 0 : 1;
}

int Watch(HWND top, int click, int id, const std::wstring& text, DWORD limitMs) {
    HWND control = Child(top, id);
    if (!control)
        return Fail("no such control");
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    auto since = [&](const LARGE_INTEGER& from) {
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - from.QuadPart) * 1000.0 /
               static_cast<double>(frequency.QuadPart);
    };
    if (click) {
        HWND button = Child(top, click);
        if (!button)
            return Fail("no such button");
        PostMessageW(button, BM_CLICK, 0, 0);
    }
    QueryPerformanceCounter(&start);
    double longest = 0;
    long answered = 0;
    bool seen = false;
    while (since(start) < limitMs) {
        LARGE_INTEGER sent;
        QueryPerformanceCounter(&sent);
        DWORD_PTR ignored = 0;
        if (SendMessageTimeoutW(top, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored))
            ++answered;
        longest = std::max(longest, since(sent));
        if (TextOf(control).find(text) != std::wstring::npos) {
            seen = true;
            break;
        }
        Sleep(5);
    }
    wchar_t line[120];
    swprintf(line, 120, L"elapsed %.0f longest %.1f answered %ld", since(start), longest, answered);
    Print(line);
    return seen ? 0 : 1;
}

// A pop-up as msgsvc.exe builds one, but announced before its text is in: what a capture
// that trusted the notice over the readiness rule would read empty.
int LatePopup(const std::wstring& text, DWORD lateMs) {
    HWND popup = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", lv::ToWide(lv::kPopupTitle).c_str(),
                                 WS_POPUP | WS_CAPTION, 100, 100, 300, 150, nullptr, nullptr,
                                 nullptr, nullptr);
    HWND control = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 5, 5, 280, 100, popup,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(lv::kPopupTextId)),
                                   nullptr, nullptr);
    if (!popup || !control)
        return Fail("cannot make the pop-up");
    ShowWindow(popup, SW_SHOWNOACTIVATE);
    HWND capture = FindWindowExW(HWND_MESSAGE, nullptr, lv::kCaptureNoticeClass, nullptr);
    if (!capture)
        return Fail("no capture is listening for notices");
    PostMessageW(capture, RegisterWindowMessageW(lv::kCaptureNoticeMessage), 0, 0);
    const DWORD start = GetTickCount();
    bool textIn = false;
    while (IsWindow(popup) && GetTickCount() - start < 30000) {
        if (!textIn && GetTickCount() - start >= lateMs) {
            SetWindowTextW(control, text.c_str());
            textIn = true;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    if (IsWindow(popup))
        return Fail("the pop-up was never taken");
    Print(L"closed after " + std::to_wstring(GetTickCount() - start) + L" ms");
    return textIn ? 0 : Fail("taken before its text was in");
}

// Shell_NotifyIcon finds the notification area by its class, the topmost window first, and
// hands it the call as WM_COPYDATA: this one answers every call with a refusal.
int NotReadyTray(DWORD ms) {
    WNDCLASSW c{};
    c.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        return m == WM_COPYDATA ? FALSE : DefWindowProcW(h, m, w, l);
    };
    c.hInstance = GetModuleHandleW(nullptr);
    c.lpszClassName = L"Shell_TrayWnd";
    if (!RegisterClassW(&c))
        return Fail("cannot register the class");
    // Wine's own comes up with its desktop process, a moment after the first window: this
    // one must lie above it.
    for (int i = 0; i < 100 && !FindWindowW(L"Shell_TrayWnd", nullptr); ++i)
        Sleep(50);
    HWND tray = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, c.lpszClassName, L"", WS_POPUP, 0,
                                0, 1, 1, nullptr, nullptr, c.hInstance, nullptr);
    auto onTop = [tray] {
        SetWindowPos(tray, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOSENDCHANGING);
        return FindWindowW(L"Shell_TrayWnd", nullptr) == tray;
    };
    if (!tray || !onTop())
        return Fail("the stand-in is not the notification area that programs find");
    Print(L"ready");
    fflush(stdout);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        if (!onTop())
            return Fail("another notification area came above the stand-in");
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    DestroyWindow(tray);
    DWORD_PTR ignored;
    SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0,
                        SMTO_ABORTIFHUNG, 5000, &ignored);
    Print(L"gone");
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3)
        return Fail("usage: lvdriver COMMAND TITLE [ARG]");
    std::wstring cmd = argv[1], title = argv[2];
    if (cmd == L"notready")
        return NotReadyTray(static_cast<DWORD>(_wtoi(title.c_str())));
    if (cmd == L"trayhost") {
        Print(FindWindowW(L"Shell_TrayWnd", nullptr) ? L"1" : L"0");
        return 0;
    }
    if (cmd == L"hostaddress") {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        std::optional<in_addr> own = lv::presence::FirstLocalAddress();
        if (!own)
            return Fail("the local host name has no address");
        Print(lv::ToWide(inet_ntoa(*own)));
        return 0;
    }
    long arg = argc > 3 ? wcstol(argv[3], nullptr, 0) : 0;

    if (cmd == L"wait" || cmd == L"gone") {
        DWORD limit = argc > 3 ? static_cast<DWORD>(arg) : 10000;
        DWORD start = GetTickCount();
        for (;;) {
            bool present = FindOne(title) != nullptr;
            if (present == (cmd == L"wait"))
                return 0;
            if (GetTickCount() - start > limit)
                return Fail(cmd == L"wait" ? "window did not appear" : "window did not go");
            Sleep(50);
        }
    }
    // hold PATH MS: another program that keeps the file open without sharing for MS ms.
    if (cmd == L"hold") {
        HANDLE file = CreateFileW(title.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return Fail("cannot open the file");
        Print(L"held");
        fflush(stdout);
        Sleep(static_cast<DWORD>(arg));
        CloseHandle(file);
        return 0;
    }
    if (cmd == L"latepopup")
        return LatePopup(title, static_cast<DWORD>(arg));
    if (cmd == L"pollpopups")
        return PollPopups(title, static_cast<DWORD>(arg),
                          argc > 4 ? wcstol(argv[4], nullptr, 0) : 0);
    // menus -: how many popup menus are open; menus - close: Esc to each of them.
    if (cmd == L"menus") {
        struct Found {
            int count = 0;
            bool close;
        } found{0, argc > 3 && std::wstring(argv[3]) == L"close"};
        EnumWindows(
            [](HWND hwnd, LPARAM param) {
                auto* f = reinterpret_cast<Found*>(param);
                wchar_t name[16] = {};
                GetClassNameW(hwnd, name, 15);
                if (std::wstring(name) == L"#32768" && IsWindowVisible(hwnd)) {
                    ++f->count;
                    if (f->close)
                        PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        Print(std::to_wstring(found.count));
        return 0;
    }
    if (cmd == L"count") {
        Print(std::to_wstring(FindAll(title).size()));
        return 0;
    }
    HWND top = FindOne(title);
    if (!top)
        return Fail("no window with that caption");
    if (cmd == L"visible") {
        Print(IsWindowVisible(top) ? L"1" : L"0");
    } else if (cmd == L"rect") {
        RECT w, c;
        GetWindowRect(top, &w);
        GetClientRect(top, &c);
        wchar_t line[120];
        swprintf(line, 120, L"%ld %ld %ld %ld %ld %ld", w.left, w.top, w.right, w.bottom, c.right,
                 c.bottom);
        Print(line);
    } else if (cmd == L"text") {
        HWND c = Child(top, static_cast<int>(arg));
        if (!c)
            return Fail("no such control");
        Print(TextOf(c));
    } else if (cmd == L"enabled") {
        HWND c = Child(top, static_cast<int>(arg));
        if (!c)
            return Fail("no such control");
        Print(IsWindowEnabled(c) ? L"1" : L"0");
    } else if (cmd == L"children") {
        EnumChildWindows(top, ListChild, reinterpret_cast<LPARAM>(top));
    } else if (cmd == L"items") {
        HWND c = Child(top, static_cast<int>(arg));
        if (!c)
            return Fail("no such control");
        LRESULT n = SendMessageW(c, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            LRESULT len = SendMessageW(c, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
            std::wstring item(static_cast<size_t>(len) + 1, L'\0');
            SendMessageW(c, LB_GETTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(item.data()));
            item.resize(static_cast<size_t>(len));
            Print(item);
        }
    } else if (cmd == L"select") {
        HWND c = Child(top, static_cast<int>(arg));
        if (!c)
            return Fail("no such control");
        if (argc < 5)
            return Fail("missing line");
        SendMessageW(c, LB_SETCURSEL, static_cast<WPARAM>(wcstol(argv[4], nullptr, 0)), 0);
    } else if (cmd == L"click") {
        HWND c = Child(top, static_cast<int>(arg));
        if (!c)
            return Fail("no such control");
        PostMessageW(c, BM_CLICK, 0, 0);
    } else if (cmd == L"close") {
        PostMessageW(top, WM_CLOSE, 0, 0);
    } else if (cmd == L"closesync") {
        SendMessageW(top, WM_CLOSE, 0, 0);
    } else if (cmd == L"statics") {
        EnumChildWindows(top, PrintStatic, 0);
    } else if (cmd == L"pid") {
        DWORD pid = 0;
        GetWindowThreadProcessId(top, &pid);
        Print(std::to_wstring(pid));
    } else if (cmd == L"settext" || cmd == L"checked" || cmd == L"sethotkey") {
        HWND c = Child(top, static_cast<int>(arg));
        if (!c)
            return Fail("no such control");
        if (cmd == L"checked") {
            Print(SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED ? L"1" : L"0");
        } else if (argc < 5) {
            return Fail("missing value");
        } else if (cmd == L"settext") {
            // WM_SETTEXT makes the edit notify its owner (EN_CHANGE) as typing does.
            SendMessageW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        } else {
            SendMessageW(c, HKM_SETHOTKEY, static_cast<WPARAM>(wcstol(argv[4], nullptr, 0)), 0);
        }
    } else if (cmd == L"watch") {
        if (argc < 7)
            return Fail("usage: lvdriver watch TITLE CLICK ID TEXT MS");
        return Watch(top, static_cast<int>(arg), static_cast<int>(wcstol(argv[4], nullptr, 0)),
                     argv[5], static_cast<DWORD>(wcstol(argv[6], nullptr, 0)));
    } else if (cmd == L"command") {
        PostMessageW(top, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(arg), 0), 0);
    } else {
        return Fail("unknown command");
    }
    return 0;
}
