#include "capture/ReceiveQueue.h"

namespace lv {
namespace {
const std::string kNone;
}

bool ReceiveQueue::Enqueue(std::string body, std::string sender) {
    if (Waiting() >= kMaxReceivedMessages)
        return false;
    bodies_[Slot(receivedCount_)] = std::move(body);
    senders_[Slot(receivedCount_)] = std::move(sender);
    ++receivedCount_;
    return true;
}

const std::string& ReceiveQueue::CurrentBody() const {
    return Waiting() > 0 ? bodies_[Slot(currentIndex_)] : kNone;
}

const std::string& ReceiveQueue::CurrentSender() const {
    return Waiting() > 0 ? senders_[Slot(currentIndex_)] : kNone;
}

bool ReceiveQueue::Next() {
    if (Waiting() < 2)
        return false;
    ++currentIndex_;
    return true;
}

bool ReceiveQueue::Dismiss() {
    if (Waiting() < 1)
        return false;
    ++currentIndex_;
    return true;
}

} // namespace lv
