#pragma once
// The sending side of the Messenger protocol as a pure state machine: it says what to write
// on the connection and reads the peer's replies; the caller owns the socket and the clock.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "messenger/NetBios.h"
#include "messenger/SendReason.h"

namespace lv::messenger {

// Statuses of NetMessageBufferSend, as the system call returns them.
namespace status {
constexpr uint32_t kSuccess = 0;
constexpr uint32_t kNotSupported = 50;     // ERROR_NOT_SUPPORTED
constexpr uint32_t kInvalidParameter = 87; // ERROR_INVALID_PARAMETER
constexpr uint32_t kNetworkError = 2136;   // NERR_NetworkError
constexpr uint32_t kNameNotFound = 2273;   // NERR_NameNotFound
constexpr uint32_t kPausedRemote = 2281;   // NERR_PausedRemote
constexpr uint32_t kBadReceive = 2282;     // NERR_BadReceive: sent but not received
} // namespace status

// Longest text we send. Old receivers took about 1600 bytes; ours takes 4096 by default.
constexpr size_t kMaxSendTextBytes = 4096;
// Text bytes per D7 block, as smbclient and Windows send them.
constexpr size_t kMaxBlockBytes = 127;

// The text cut into blocks of at most `maxBlock` bytes, never between the two bytes of a
// double-byte character (lead byte 0x81-0xFE and the byte after it).
std::vector<std::string> SplitTextBlocks(std::string_view text, size_t maxBlock = kMaxBlockBytes);

// NetMessageBufferSend's status for an SMB error status of a message reply.
uint32_t StatusFromSmbError(uint32_t smbStatus, bool ntStatus);

struct SendRequest {
    std::string from, to, text; // code page 936
    // Port 139 wants a NetBIOS session first: called name to<03>, calling callingName<00>.
    bool sessionRequest = false;
    std::string callingName;
};

class Sender {
  public:
    // A request with an empty recipient or a text over kMaxSendTextBytes is refused at once:
    // Done() is then true before anything was sent.
    explicit Sender(SendRequest request);

    enum class Step {
        kWait,      // send what was given, then wait for more reply bytes
        kReconnect, // close the connection, open a new one and call Connected() again
        kDone,      // finished: Status() tells how
    };

    // A connection is open: the bytes to send first.
    std::string Connected();

    // Reply bytes as they arrive, in any split; appends what to send next to `out`.
    Step Feed(std::string_view bytes, std::string& out);

    // The connection broke or a reply did not come in time: `status` for the call, `why` for
    // the user (after the end went out it is always kUnconfirmed).
    void Fail(uint32_t status, SendFailure why = SendFailure::kBroken);

    bool Done() const { return phase_ == Phase::kDone; }
    uint32_t Status() const { return status_; }
    // Status() with why it came (ports not filled in).
    SendResult Result() const;
    // The end of the message has been sent: the peer may be showing it even when its reply
    // never came, so the message must not be sent again elsewhere.
    bool EndSent() const { return endSent_; }

  private:
    enum class Phase { kSession, kStart, kText, kEnd, kDone };

    Step HandleFrame(std::string_view frame, std::string& out);
    Step Finish(uint32_t result, SendFailure why);
    std::string Request(uint8_t command, std::vector<uint16_t> words, std::string_view bytes);

    SendRequest request_;
    std::vector<std::string> blocks_;
    size_t nextBlock_ = 0;
    Phase phase_ = Phase::kSession;
    uint32_t status_ = status::kNetworkError;
    bool retriedSession_ = false;
    uint16_t group_ = 0;
    uint16_t mid_ = 0;     // of the request awaiting its reply
    uint8_t expected_ = 0; // its command
    FrameReader frames_{kSessionHeaderBytes + kMaxSessionPayload};
    bool endSent_ = false;
    bool answered_ = false; // a frame came from the peer
    SendFailure why_ = SendFailure::kBroken;
    uint32_t smbStatus_ = 0;
    bool ntStatus_ = false;
    SendPhase errorPhase_ = SendPhase::kNames;
};

} // namespace lv::messenger
