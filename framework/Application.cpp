#include "framework/Application.h"

#include "framework/Form.h"
#include "framework/MessageBox.h"
#include "framework/Timer.h"
#include "framework/Window.h"

#include <commctrl.h>

#include <memory>
#include <mutex>

namespace lv {
namespace {

// Carries a heap closure (its pointer in wParam) to the main thread.
constexpr UINT kRunPosted = WM_APP + 1;

const wchar_t kAppClass[] = L"LvApplication";
const wchar_t kPostClass[] = L"LvMainThread";

} // namespace

// Message-only window of the main thread: receives the posted closures and the timers.
class MainThreadWindow : public Window {
  public:
    HWND Make(bool messageOnly) {
        return CreateHandle(0, messageOnly ? kPostClass : kAppClass, L"",
                            messageOnly ? 0 : WS_POPUP, 0, 0, 0, 0,
                            messageOnly ? HWND_MESSAGE : nullptr);
    }

  protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kRunPosted) {
            App().RunPosted(reinterpret_cast<std::function<void()>*>(wParam));
            return 0;
        }
        if (message == WM_TIMER) {
            App().OnTimer(wParam);
            return 0;
        }
        return Window::HandleMessage(message, wParam, lParam);
    }
};

Application& App() {
    static Application app;
    return app;
}

void Application::Initialize() {
    if (initialized_)
        return;
    initialized_ = true;
    mainThread_ = GetCurrentThreadId();
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    Window::RegisterWindowClass(kAppClass, 0, nullptr);
    Window::RegisterWindowClass(kPostClass, 0, nullptr);
    TForm::RegisterFormClass();
    // Both live as long as the process.
    static MainThreadWindow appWindow, postWindow;
    appWindow_ = appWindow.Make(false);
    postWindow_ = postWindow.Make(true);
}

void Application::Run(TForm& mainForm, bool showMainForm) {
    if (showMainForm)
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
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            terminated_ = true;
            break;
        }
        Dispatch(message);
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

void Application::Post(std::function<void()> work) {
    if (IsMainThread()) {
        work();
        return;
    }
    auto* owned = new std::function<void()>(std::move(work));
    // A full queue only delays the worker until the main thread has emptied it: no line is
    // dropped. Once the program is ending nobody empties it any more.
    while (!PostMessageW(postWindow_, kRunPosted, reinterpret_cast<WPARAM>(owned), 0)) {
        if (!IsWindow(postWindow_) || terminated_) {
            delete owned;
            return;
        }
        Sleep(1);
    }
}

void Application::Send(std::function<void()> work) {
    if (IsMainThread()) {
        work();
        return;
    }
    // The closure may refer to the caller's stack, so once the caller has given up waiting
    // (the program is ending) it must not run any more: `abandoned`, under the lock.
    struct Done {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::mutex lock;
        bool abandoned = false;
        ~Done() { CloseHandle(event); }
    };
    auto done = std::make_shared<Done>();
    Post([work = std::move(work), done] {
        std::lock_guard<std::mutex> hold(done->lock);
        if (done->abandoned)
            return;
        struct Signal {
            HANDLE event;
            ~Signal() { SetEvent(event); }
        } signal{done->event};
        work();
    });
    while (WaitForSingleObject(done->event, 100) == WAIT_TIMEOUT) {
        if (terminated_ || !IsWindow(postWindow_)) {
            std::lock_guard<std::mutex> hold(done->lock);
            done->abandoned = true;
            return;
        }
    }
}

void Application::RunPosted(std::function<void()>* work) {
    std::unique_ptr<std::function<void()>> owned(work);
    (*owned)();
}

UINT_PTR Application::StartTimer(TTimer* timer, UINT interval) {
    UINT_PTR id = nextTimerId_++;
    timers_[id] = timer;
    SetTimer(postWindow_, id, interval, nullptr);
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
