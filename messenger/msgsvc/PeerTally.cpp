#include "messenger/msgsvc/PeerTally.h"

namespace lv::messenger {

PeerTally::Take PeerTally::TryTake(uint32_t peer) {
    int& mine = held_[peer];
    // A share of the whole or more is no share: the whole limit is what refuses then.
    Take result = mine >= perPeer_ && perPeer_ < total_ ? Take::kPeerFull
                  : taken_ >= total_                    ? Take::kFull
                                                        : Take::kTaken;
    if (result == Take::kTaken) {
        ++mine;
        ++taken_;
    } else if (mine == 0) {
        held_.erase(peer);
    }
    return result;
}

void PeerTally::Release(uint32_t peer) {
    auto it = held_.find(peer);
    if (it == held_.end())
        return;
    --taken_;
    if (--it->second == 0)
        held_.erase(it);
}

int PeerTally::TakenBy(uint32_t peer) const {
    auto it = held_.find(peer);
    return it == held_.end() ? 0 : it->second;
}

bool RefusalCount::Note(uint32_t peer) {
    bool first = false;
    if (seen_.size() < remember_)
        first = seen_.insert(peer).second;
    return ++total_ % kPerLogLine == 1 || first;
}

} // namespace lv::messenger
