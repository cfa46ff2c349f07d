#include "messenger/SendReason.h"

namespace lv::messenger {
namespace {

// How much a result tells about the computer behind the address: one from further into
// the conversation beats one from before it, and a refusal (the computer is there) beats
// silence (it may not be).
int Weight(const SendResult& r) {
    switch (r.failure) {
    case SendFailure::kNone:
        return r.status == 0 ? 100 : 0;
    case SendFailure::kUnconfirmed:
        return 90;
    case SendFailure::kPeerRefused:
        return 80;
    case SendFailure::kBroken:
        return 70;
    case SendFailure::kClosed:
        return 60;
    case SendFailure::kNoReply:
        return 50;
    case SendFailure::kNoAnswer:
        // The computer is on and one port did not answer: a firewall is the likely cause,
        // which is worth more to the user than "nothing listens" on the other port.
        return r.computerOn ? 40 : 10;
    case SendFailure::kRefused:
        return 30;
    case SendFailure::kNotMessenger:
        return 20;
    default:
        return 5;
    }
}

bool Answered(const SendResult& r) {
    return r.failure != SendFailure::kNoAnswer && r.failure != SendFailure::kLocalError;
}

SendResult MostTelling(const std::vector<SendResult>& results) {
    if (results.empty())
        return SendResult{2136 /* NERR_NetworkError */, SendFailure::kNoAnswer};
    const SendResult* best = &results.front();
    for (const SendResult& r : results)
        if (Weight(r) > Weight(*best))
            best = &r;
    return *best;
}

} // namespace

SendResult AtAddress(const std::vector<SendResult>& ports) {
    bool answered = false;
    for (const SendResult& r : ports)
        answered = answered || Answered(r);
    std::vector<SendResult> marked = ports;
    for (SendResult& r : marked)
        if (r.failure == SendFailure::kNoAnswer && answered)
            r.computerOn = true;
    return MostTelling(marked);
}

SendResult AcrossAddresses(const std::vector<SendResult>& addresses) {
    return MostTelling(addresses);
}

} // namespace lv::messenger
