#pragma once
// The application object: message loop, title, the error box for exceptions that escape a
// handler, window timers, and the hand-over of work from worker threads to the main
// thread. One per process, used from the main thread except where a method says so.
#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <map>
#include <string>

namespace lv {

class TForm;
class TTimer;

class Application {
  public:
    // Registers the window classes and makes the hidden windows; the calling thread
    // becomes the main thread. Further calls do nothing.
    void Initialize();

    const std::string& Title() const { return title_; }
    void SetTitle(std::string gbkTitle) { title_ = std::move(gbkTitle); }

    // The hidden application window: owner of every form (so that no form has a taskbar
    // button of its own) and of the message boxes that no form owns.
    HWND Handle() const { return appWindow_; }

    // Shows the main form if asked and runs the loop until Terminate.
    void Run(TForm& mainForm, bool showMainForm);
    // Handles every message already waiting, then returns.
    void ProcessMessages();
    // One message through dialog keys (Tab, Enter, Esc) and on to its window.
    void Dispatch(MSG& message);
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Tests only: after a test has ended the loop, the next one starts afresh.
    void ResetTerminated() { terminated_ = false; }

    // The error box: the exception's message captioned with the title. Anything that is
    // not a std::exception shows an empty message.
    void HandleException(std::exception_ptr error);

    // Any thread. Runs `work` on the main thread: at once when called there, otherwise
    // through a posted message, so the calls of one thread run in the order made.
    bool IsMainThread() const;
    void Post(std::function<void()> work);
    // The same, and returns only after `work` has run (or the program has ended).
    void Send(std::function<void()> work);

  private:
    friend class TTimer;
    friend class MainThreadWindow;
    UINT_PTR StartTimer(TTimer* timer, UINT interval);
    void StopTimer(UINT_PTR id);
    void OnTimer(UINT_PTR id);
    void RunPosted(std::function<void()>* work);

    std::string title_;
    bool initialized_ = false;
    std::atomic<bool> terminated_ = false;
    DWORD mainThread_ = 0;
    HWND appWindow_ = nullptr;
    HWND postWindow_ = nullptr;
    std::map<UINT_PTR, TTimer*> timers_;
    UINT_PTR nextTimerId_ = 1;
};

Application& App();

} // namespace lv
