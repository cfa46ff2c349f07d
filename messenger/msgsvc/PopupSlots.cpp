#include "messenger/msgsvc/PopupSlots.h"

namespace lv::messenger {

bool PopupSlots::TryTake() {
    int open = taken_.load();
    do {
        if (open >= max_)
            return false;
    } while (!taken_.compare_exchange_weak(open, open + 1));
    return true;
}

std::function<void()> PopupSlots::Releaser() {
    auto done = std::make_shared<std::atomic<bool>>(false);
    return [this, done] {
        if (!done->exchange(true))
            --taken_;
    };
}

} // namespace lv::messenger
