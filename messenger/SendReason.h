#pragma once
// Why a send ended as it did, finer than NetMessageBufferSend's status: what each try at a
// port and address met, and the one reason the whole send reports. Portable.
#include <cstdint>
#include <vector>

namespace lv::messenger {

enum class SendFailure : uint8_t {
    kNone,          // accepted, or nothing known beyond the status
    kBadArgument,   // refused before the network (no recipient, text too long)
    kLocalError,    // this computer's network could not be used
    kBadAddress,    // digits and dots that are no IPv4 address
    kNameNotFound,  // the computer name has no IPv4 address
    kLookupTimeout, // the name lookup did not answer within the send's deadline
    kNoAnswer,      // the connect got no answer in time (or the address is unreachable)
    kRefused,       // the connection was refused: nothing listens there
    kNotMessenger,  // something answered, but not as a messenger does
    kNoReply,       // connected, but the peer did not reply in time
    kClosed,        // the peer closed the connection before it answered anything
    kBroken,        // the connection broke in the middle of the message
    kPeerRefused,   // a messenger answered with an error status (smbStatus)
    kUnconfirmed,   // the end of the message went out, its acknowledgement never came
};

// Where in the message a messenger's error status came.
enum class SendPhase : uint8_t { kNames, kText };

struct SendResult {
    uint32_t status = 0; // NetMessageBufferSend's
    SendFailure failure = SendFailure::kNone;
    // kPeerRefused: the SMB status as the reply held it, and where it came.
    uint32_t smbStatus = 0;
    bool ntStatus = false;
    SendPhase phase = SendPhase::kNames;
    // kNoAnswer: another port of the same address did answer, so the computer is on.
    bool computerOn = false;
    // The ports the send used (fallback 0: none).
    uint16_t port = 0, fallbackPort = 0;
};

// The tries at the ports of one address, in any order: what that address gave.
SendResult AtAddress(const std::vector<SendResult>& ports);
// The addresses tried, in the order tried: the one that says most about the computer (the
// first of equals). Empty: no address was tried in time (kNoAnswer).
SendResult AcrossAddresses(const std::vector<SendResult>& addresses);

} // namespace lv::messenger
