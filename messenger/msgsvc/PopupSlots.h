#pragma once
// How many pop-ups may be open or on their way to the screen. The network thread takes a
// slot before it accepts a message, so the limit holds however fast messages come; the UI
// thread gives it back when the pop-up is gone, or when it could not be shown at all.
#include <atomic>
#include <functional>
#include <memory>

namespace lv::messenger {

class PopupSlots {
  public:
    explicit PopupSlots(int max) : max_(max) {}

    // False when all slots are taken.
    bool TryTake();
    // Gives a taken slot back however often it is called: the window's close and an error
    // path may both run for one pop-up, and a slot must neither be lost nor freed twice.
    std::function<void()> Releaser();
    int Taken() const { return taken_.load(); }

  private:
    int max_;
    std::atomic<int> taken_{0};
};

} // namespace lv::messenger
