#pragma once
// How many pop-ups may be open or on their way to the screen, in all and per sending
// address. The network thread takes a slot before it accepts a message, so the limits hold
// however fast messages come; the UI thread gives it back when the pop-up is gone, or when
// it could not be shown at all.
#include "messenger/msgsvc/PeerTally.h"

#include <cstdint>
#include <functional>
#include <mutex>

namespace lv::messenger {

class PopupSlots {
  public:
    PopupSlots(int max, int maxPerPeer) : tally_(max, maxPerPeer) {}

    PeerTally::Take TryTake(uint32_t peer);
    // Gives a taken slot of `peer` back however often it is called: the window's close and
    // an error path may both run for one pop-up, and a slot must neither be lost nor freed
    // twice.
    std::function<void()> Releaser(uint32_t peer);
    int Taken() const;
    int TakenBy(uint32_t peer) const;

  private:
    mutable std::mutex lock_;
    PeerTally tally_;
};

} // namespace lv::messenger
