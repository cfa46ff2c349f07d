#pragma once
// The receiving side of the Messenger protocol as a pure state machine: bytes from one
// TCP connection go in, the bytes to send back and the completed messages come out. No
// sockets here, so the whole conversation can be tested and fuzzed without a network.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace lv::messenger {

// Names and text as they came on the wire: code page 936 bytes. The text has its line
// breaks made CR LF and its trailing NULs removed.
struct Message {
    std::string sender, recipient, text;
};

struct ReceiverLimits {
    // A message whose text grows past this is refused (ERRSRV/ERRnoroom) and dropped.
    size_t maxTextBytes = 4096;
    // One whole session-service frame, header included. Also the most we ever buffer.
    size_t maxFrameBytes = 0x1FFFF + 4;
};

class Receiver {
  public:
    // Called when a message is complete (D0, or D6 after D5/D7s). Return false when it
    // cannot be taken (no room): the reply is then ERRSRV/ERRnoroom so the sender learns
    // it failed.
    using Deliver = std::function<bool(const Message&)>;

    explicit Receiver(Deliver deliver, ReceiverLimits limits = {});

    // Bytes as they arrive from the peer, in any split. Appends to `reply` everything to
    // send back. Returns false when the connection must be closed after sending `reply`;
    // every later call then returns false without doing anything.
    bool Feed(std::string_view bytes, std::string& reply);

    // True once the connection has been condemned (a false return from Feed).
    bool Closed() const { return closed_; }

  private:
    // One complete session-service frame (header included); false closes the connection.
    bool HandleFrame(std::string_view frame, std::string& reply);
    bool HandleSmb(std::string_view smb, std::string& reply);

    Deliver deliver_;
    ReceiverLimits limits_;
    std::string pending_; // bytes of a frame not yet complete, at most maxFrameBytes
    bool closed_ = false;

    // The multi-block message being assembled between D5 and D6.
    bool inGroup_ = false;
    bool groupOverflow_ = false; // text went past maxTextBytes: D6 answers ERRnoroom
    uint16_t groupId_ = 0;
    uint16_t nextGroupId_ = 1;
    Message group_;
};

} // namespace lv::messenger
