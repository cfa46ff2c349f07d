#pragma once
// The received messages of one run, in arrival order, and which of them the user has seen.
// Indices only grow: messages below CurrentIndex() are dismissed, those from CurrentIndex()
// to ReceivedCount() - 1 wait (the one on screen, while the window is open, included).
//
// At most kMaxReceivedMessages wait at a time. A message is kept in slot index % 500, so no
// slot past 499 is ever used and a dismissed message's slot is taken again by a later one:
// however many messages a run brings, none is lost while fewer than 500 wait.
#include <array>
#include <cstdint>
#include <string>

namespace lv {

class ReceiveQueue {
  public:
    static constexpr int kMaxReceivedMessages = 500;

    // Appends a message. False when 500 already wait: it is not queued (the caller still
    // has it logged and announced).
    bool Enqueue(std::string body, std::string sender);

    int ReceivedCount() const { return receivedCount_; }
    int CurrentIndex() const { return currentIndex_; }
    int Waiting() const { return receivedCount_ - currentIndex_; }

    // The message at CurrentIndex(); empty texts when none waits.
    const std::string& CurrentBody() const;
    const std::string& CurrentSender() const;

    // "下一个>>": the message shown is dismissed and the next one shown. Only while another
    // waits after it (the button is disabled otherwise); false when nothing changed.
    bool Next();
    // Closing the window: the message shown is dismissed. False when none was waiting.
    bool Dismiss();

  private:
    static size_t Slot(int index) { return static_cast<size_t>(index) % kMaxReceivedMessages; }

    std::array<std::string, kMaxReceivedMessages> bodies_;
    std::array<std::string, kMaxReceivedMessages> senders_;
    int32_t receivedCount_ = 0;
    int32_t currentIndex_ = 0;
};

} // namespace lv
