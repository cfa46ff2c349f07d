#include "presence/ProbeState.h"

#include "framework/Application.h"

#include <utility>

namespace lv::presence {

ProbeState::ProbeState(MainHub& hub)
    : hub(hub), stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      receiverDone(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      helperQuiet(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      helperWake(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

ProbeState::~ProbeState() {
    for (HANDLE event : {stopEvent, receiverDone, helperQuiet, helperWake})
        if (event)
            CloseHandle(event);
}

void ProbeState::RequestStop() {
    stop = true;
    SetEvent(stopEvent);
}

void ProbeState::Report(std::function<void()> line) {
    ++posted;
    // The posted line holds the state: the query may be over by the time it runs.
    bool queued = App().Post([self = shared_from_this(), line = std::move(line)] {
        ++self->arrived;
        if (!self->over)
            line();
    });
    if (!queued)
        --posted;
}

void ProbeState::ReportAnswer(uint32_t source, std::optional<size_t> request) {
    Report([this, source, request] {
        hub.AddFriendStatusLine(book.Answered(source, request), " 在线");
    });
}

void ProbeState::ReportError() {
    Report([this] { hub.AddStatusLine("出错！"); });
}

void ProbeState::QueueHelperRequest(const HelperRequest& request) {
    {
        std::lock_guard<std::mutex> lock(helperLock_);
        helperRequests_.push_back(request);
    }
    SetEvent(helperWake);
}

std::deque<HelperRequest> ProbeState::TakeHelperRequests() {
    std::lock_guard<std::mutex> lock(helperLock_);
    return std::exchange(helperRequests_, {});
}

} // namespace lv::presence
