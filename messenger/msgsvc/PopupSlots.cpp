#include "messenger/msgsvc/PopupSlots.h"

#include <atomic>
#include <memory>

namespace lv::messenger {

PeerTally::Take PopupSlots::TryTake(uint32_t peer) {
    std::lock_guard<std::mutex> hold(lock_);
    return tally_.TryTake(peer);
}

std::function<void()> PopupSlots::Releaser(uint32_t peer) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    return [this, peer, done] {
        if (!done->exchange(true)) {
            std::lock_guard<std::mutex> hold(lock_);
            tally_.Release(peer);
        }
    };
}

int PopupSlots::Taken() const {
    std::lock_guard<std::mutex> hold(lock_);
    return tally_.Taken();
}

int PopupSlots::TakenBy(uint32_t peer) const {
    std::lock_guard<std::mutex> hold(lock_);
    return tally_.TakenBy(peer);
}

} // namespace lv::messenger
