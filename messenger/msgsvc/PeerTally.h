#pragma once
// Per-peer shares of a limited resource (sessions, pop-ups): a peer address may hold at
// most `perPeer` of the `total`, so one address cannot take every slot and lock the
// other senders out. Not thread-safe; PopupSlots adds the lock where two threads share it.
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>

namespace lv::messenger {

class PeerTally {
  public:
    enum class Take { kTaken, kPeerFull, kFull };

    PeerTally(int total, int perPeer) : total_(total), perPeer_(perPeer) {}

    // A peer already at its own share is told so even when every slot is taken too:
    // the refusal is its own doing. A share as large as the total is none (kFull).
    Take TryTake(uint32_t peer);
    // Gives back one slot of that peer; a peer that holds none is left alone.
    void Release(uint32_t peer);

    int Taken() const { return taken_; }
    int TakenBy(uint32_t peer) const;
    // Peers holding a slot now: the tally forgets a peer once it holds none.
    size_t Peers() const { return held_.size(); }

  private:
    int total_, perPeer_;
    int taken_ = 0;
    std::unordered_map<uint32_t, int> held_;
};

// Refusals come as fast as a peer can send. The log gets the first refusal from each
// address (so every pest appears once) and then the first of every hundred, so it grows
// with the number of peers, not with their attempts. Addresses are remembered up to
// `remember`; past that only the hundreds are logged.
class RefusalCount {
  public:
    explicit RefusalCount(size_t remember = 256) : remember_(remember) {}

    // Counts one refusal of `peer`; true when it should be logged.
    bool Note(uint32_t peer);
    long Total() const { return total_; }

  private:
    static constexpr long kPerLogLine = 100;
    size_t remember_;
    long total_ = 0;
    std::unordered_set<uint32_t> seen_;
};

} // namespace lv::messenger
