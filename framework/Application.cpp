#include "framework/Application.h"

#include "framework/Exception.h"
#include "framework/Form.h"
#include "framework/MessageBox.h"
#include "framework/MessageWindow.h"
#include "framework/Thread.h"
#include "framework/Timer.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace lv {
namespace {

// Carries a heap closure (its pointer in wParam) to the main thread.
constexpr UINT kRunPosted = WM_APP + 1;

} // namespace

Application& App() {
    // Never destroyed: a worker cut off at shutdown may still ask it (and be told no) while
    // the process's static objects are being torn down.
    static Application* app = new Application;
    return *app;
}

void Application::Initialize() {
    if (initialized_)
        return;
    initialized_ = true;
    mainThread_ = GetCurrentThreadId();
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    TForm::RegisterFormClass();
    // Both live as long as the process. The application window owns the forms; the
    // message-only one receives the posted closures and the timers.
    auto* appWindow = new MessageWindow(MessageWindow::Kind::kHiddenTopLevel);
    auto* postWindow = new MessageWindow(MessageWindow::Kind::kMessageOnly);
    postWindow->On(kRunPosted, [this](WPARAM work, LPARAM) {
        RunPosted(reinterpret_cast<std::function<void()>*>(work));
        return LRESULT{0};
    });
    postWindow->On(WM_TIMER, [this](WPARAM id, LPARAM) {
        OnTimer(id);
        return LRESULT{0};
    });
    appWindow_ = appWindow->Handle();
    postWindow_ = postWindow->Handle();
}

void Application::Run(TForm& mainForm, bool showMainForm) {
    // Told to end before the loop (asked to exit during the start-up): nothing is shown.
    if (showMainForm && !terminated_)
        mainForm.Show();
    MSG message;
    while (!terminated_) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            terminated_ = true;
            break;
        }
        Dispatch(message);
    }
}

void Application::ProcessMessages() {
    // Bounded: workers that post faster than their closures run must not keep a caller
    // that waits for a flag in here forever.
    const ULONGLONG until = GetTickCount64() + 100;
    MSG message;
    while (GetTickCount64() < until && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            terminated_ = true;
            break;
        }
        Dispatch(message);
    }
}

bool Application::WaitUntil(const std::function<bool()>& done, DWORD milliseconds) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        ProcessMessages();
        if (done())
            return true;
        if (terminated_)
            return false;
        DWORD wait = 50;
        if (milliseconds != INFINITE) {
            ULONGLONG spent = GetTickCount64() - start;
            if (spent >= milliseconds)
                return false;
            wait = static_cast<DWORD>(std::min<ULONGLONG>(wait, milliseconds - spent));
        }
        // Returns as soon as any message arrives; the 50 ms let a flag set by another
        // thread be seen without a message.
        MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void Application::Dispatch(MSG& message) {
    HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root && TForm::IsForm(root) && IsDialogMessageW(root, &message))
        return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void Application::Terminate() {
    terminated_ = true;
    PostQuitMessage(0);
}

void Application::HandleException(std::exception_ptr error) {
    std::string text;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
    }
    ShowMessageBox(appWindow_, text, title_, MB_OK | MB_ICONERROR);
}

bool Application::IsMainThread() const {
    return GetCurrentThreadId() == mainThread_;
}

bool Application::Post(std::function<void()> work) {
    if (shuttingDown_ || !postWindow_)
        return false;
    if (IsMainThread()) {
        work();
        return true;
    }
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(postLock_);
            if (shuttingDown_)
                return false;
            if (PostMessageW(postWindow_, kRunPosted, reinterpret_cast<WPARAM>(owned.get()), 0)) {
                owned.release();
                return true;
            }
        }
        // A full queue (10 000 messages) only delays the worker until the main thread has
        // emptied some of it: no line is dropped while the program runs. The lock is not
        // held meanwhile, so Shutdown can refuse this post; and a worker told to stop gives
        // up, since the main thread may be waiting for it to end rather than emptying the
        // queue.
        if (TThread::CurrentTerminated())
            return false;
        Sleep(1);
    }
}

bool Application::Send(std::function<void()> work, DWORD milliseconds) {
    if (IsMainThread()) {
        if (shuttingDown_)
            return false;
        work();
        return true;
    }
    // The closure may refer to the caller's stack, so once the caller has given up waiting
    // it must not run any more: `abandoned`, under the lock.
    struct Done {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::mutex lock;
        bool abandoned = false;
        ~Done() { CloseHandle(event); }
    };
    auto done = std::make_shared<Done>();
    bool posted = Post([work = std::move(work), done] {
        std::lock_guard<std::mutex> hold(done->lock);
        if (done->abandoned)
            return;
        struct Signal {
            HANDLE event;
            ~Signal() { SetEvent(event); }
        } signal{done->event};
        work();
    });
    if (!posted)
        return false;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (WaitForSingleObject(done->event, 50) == WAIT_OBJECT_0)
            return true;
        bool late = milliseconds != INFINITE && GetTickCount64() - start >= milliseconds;
        if (late || shuttingDown_ || TThread::CurrentTerminated()) {
            std::lock_guard<std::mutex> hold(done->lock);
            // It may have run while we took the lock.
            if (WaitForSingleObject(done->event, 0) == WAIT_OBJECT_0)
                return true;
            done->abandoned = true;
            return false;
        }
    }
}

void Application::Shutdown(DWORD workerBound) {
    {
        std::lock_guard<std::mutex> hold(postLock_);
        shuttingDown_ = true;
    }
    // Every post made before the flag is in the queue now: run them while the windows they
    // refer to still exist. Nothing can be added behind them.
    MSG message;
    std::optional<WPARAM> quit;
    while (PeekMessageW(&message, postWindow_, kRunPosted, kRunPosted, PM_REMOVE)) {
        // PeekMessage hands out WM_QUIT whatever the filter; it is put back afterwards.
        if (message.message == WM_QUIT) {
            quit = message.wParam;
            continue;
        }
        std::unique_ptr<std::function<void()>> owned(
            reinterpret_cast<std::function<void()>*>(message.wParam));
        try {
            (*owned)();
        } catch (...) {
            // Too late for an error box: the program is ending.
        }
    }
    if (quit)
        PostQuitMessage(static_cast<int>(*quit));
    ULONGLONG end = GetTickCount64() + workerBound;
    {
        std::lock_guard<std::mutex> hold(workersLock_);
        for (TThread* worker : workers_) {
            worker->Terminate();
            end = std::max(end, worker->ExitDeadline());
        }
    }
    while (WorkerCount() > 0 && GetTickCount64() < end)
        Sleep(10);
}

void Application::Reopen() {
    std::lock_guard<std::mutex> hold(postLock_);
    shuttingDown_ = false;
}

size_t Application::WorkerCount() const {
    std::lock_guard<std::mutex> hold(workersLock_);
    return workers_.size();
}

void Application::AddWorker(TThread* thread) {
    std::lock_guard<std::mutex> hold(workersLock_);
    workers_.insert(thread);
}

void Application::RemoveWorker(TThread* thread) {
    std::lock_guard<std::mutex> hold(workersLock_);
    workers_.erase(thread);
}

void Application::RunPosted(std::function<void()>* work) {
    std::unique_ptr<std::function<void()>> owned(work);
    if (shuttingDown_)
        return;
    (*owned)();
}

UINT_PTR Application::StartTimer(TTimer* timer, UINT interval) {
    UINT_PTR id = nextTimerId_++;
    timers_[id] = timer;
    if (!SetTimer(postWindow_, id, interval, nullptr)) {
        timers_.erase(id);
        throw Exception("Unable to start a timer");
    }
    return id;
}

void Application::StopTimer(UINT_PTR id) {
    KillTimer(postWindow_, id);
    timers_.erase(id);
}

void Application::OnTimer(UINT_PTR id) {
    auto it = timers_.find(id);
    if (it != timers_.end())
        it->second->Fire();
}

} // namespace lv
