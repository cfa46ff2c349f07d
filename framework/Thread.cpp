#include "framework/Thread.h"

#include "framework/Application.h"
#include "framework/Exception.h"

#include <exception>

namespace lv {
namespace {

// The worker whose Execute runs on this thread; none on the main thread.
thread_local TThread* currentWorker = nullptr;

} // namespace

TThread::~TThread() {
    if (handle_)
        CloseHandle(handle_);
}

void TThread::Hold(TThread& worker) {
    if (worker.freeOnTerminate_)
        throw Exception("A free-on-terminate worker cannot be owned");
    worker.held_ = true;
}

void TThread::Start() {
    // Nobody could stop an owned worker that nothing holds before it is destroyed.
    if (!freeOnTerminate_ && !held_)
        throw Exception("An owned worker starts only inside a TOwnedThread");
    App().AddWorker(this);
    // Suspended until the handle is stored: a free-on-terminate worker may otherwise end and
    // delete itself before CreateThread has even returned.
    HANDLE handle = CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, nullptr);
    if (!handle) {
        App().RemoveWorker(this);
        throw Exception("Unable to start a worker thread");
    }
    handle_ = handle;
    ResumeThread(handle);
}

void TThread::Terminate() {
    terminated_ = true;
    Cancel();
}

void TThread::Stop() {
    Terminate();
    // No bound: the object goes away next, and its thread must not outlive it. Cancel has
    // closed what Execute blocks on, and a wait for the main thread gives up once
    // Terminated is set (CurrentTerminated).
    WaitFor(INFINITE);
}

bool TThread::WaitFor(DWORD milliseconds) {
    return !handle_ || WaitForSingleObject(handle_, milliseconds) == WAIT_OBJECT_0;
}

bool TThread::CurrentTerminated() {
    return currentWorker && currentWorker->Terminated();
}

DWORD WINAPI TThread::ThreadProc(void* param) {
    auto* self = static_cast<TThread*>(param);
    currentWorker = self;
    try {
        self->Execute();
    } catch (...) {
        // The error box belongs to the main thread; when the program is ending it is lost
        // with everything else the worker had to say.
        App().Post([error = std::current_exception()] { App().HandleException(error); });
    }
    currentWorker = nullptr;
    // After this the main thread no longer knows the worker, so a Shutdown that runs now
    // cannot call Cancel on an object that is going away.
    App().RemoveWorker(self);
    if (self->freeOnTerminate_)
        delete self;
    return 0;
}

} // namespace lv
