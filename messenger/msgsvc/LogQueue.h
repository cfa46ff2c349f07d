#pragma once
// msgsvc's event log without stalls: the network thread must never wait for a disk, so
// lines go into a bounded queue that a thread of its own writes out. When the queue is
// full the line is dropped and counted; the writer then follows what it had with one line
// saying how many were lost, so a gap in the log is never silent.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lv::messenger {

class LogQueue {
  public:
    // Gets each batch of lines, oldest first, on the log thread.
    using Writer = std::function<void(const std::vector<std::string>& lines)>;

    LogQueue(size_t capacity, Writer writer);
    // Writes whatever is still queued, then ends the log thread.
    ~LogQueue();
    LogQueue(const LogQueue&) = delete;
    LogQueue& operator=(const LogQueue&) = delete;

    // Any thread; never waits for the writer. False when the line was dropped.
    bool Push(std::string line);

    // The line that stands for `dropped` lost lines.
    static std::string DroppedLine(size_t dropped);

  private:
    void Run();

    const size_t capacity_;
    Writer writer_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::string> lines_;
    size_t dropped_ = 0;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace lv::messenger
