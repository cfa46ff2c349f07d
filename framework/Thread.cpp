#include "framework/Thread.h"

#include "framework/Application.h"
#include "framework/Exception.h"

#include <exception>

namespace lv {

TThread::~TThread() {
    if (handle_) {
        if (!freeOnTerminate_) {
            Terminate();
            WaitForSingleObject(handle_, INFINITE);
        }
        CloseHandle(handle_);
    }
}

void TThread::Start() {
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

bool TThread::WaitFor(DWORD milliseconds) {
    return !handle_ || WaitForSingleObject(handle_, milliseconds) == WAIT_OBJECT_0;
}

DWORD WINAPI TThread::ThreadProc(void* param) {
    auto* self = static_cast<TThread*>(param);
    try {
        self->Execute();
    } catch (...) {
        // The error box belongs to the main thread; when the program is ending it is lost
        // with everything else the worker had to say.
        App().Post([error = std::current_exception()] { App().HandleException(error); });
    }
    // After this the main thread no longer knows the worker, so a Shutdown that runs now
    // cannot call Cancel on an object that is going away.
    App().RemoveWorker(self);
    if (self->freeOnTerminate_)
        delete self;
    return 0;
}

} // namespace lv
