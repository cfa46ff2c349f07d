#include "messenger/msgsvc/LogQueue.h"

#include <utility>

namespace lv::messenger {

LogQueue::LogQueue(size_t capacity, Writer writer)
    : capacity_(capacity), writer_(std::move(writer)), thread_([this] { Run(); }) {}

LogQueue::~LogQueue() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

bool LogQueue::Push(std::string line) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (lines_.size() >= capacity_) {
            ++dropped_;
            return false;
        }
        lines_.push_back(std::move(line));
    }
    wake_.notify_one();
    return true;
}

std::string LogQueue::DroppedLine(size_t dropped) {
    return std::to_string(dropped) + " log lines dropped: the log file could not keep up";
}

void LogQueue::Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [this] { return stop_ || !lines_.empty() || dropped_ > 0; });
        if (lines_.empty() && dropped_ == 0)
            return; // stopping, and nothing left to write
        std::vector<std::string> batch(std::make_move_iterator(lines_.begin()),
                                       std::make_move_iterator(lines_.end()));
        lines_.clear();
        // Dropped lines came after every line still queued, so their note follows them.
        if (dropped_ > 0)
            batch.push_back(DroppedLine(std::exchange(dropped_, 0)));
        hold.unlock();
        try {
            writer_(batch);
        } catch (...) {
            // The log is a help: a failing writer must not end the service.
        }
        hold.lock();
    }
}

} // namespace lv::messenger
