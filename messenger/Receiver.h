#pragma once
// The receiving side of the Messenger protocol as a pure state machine: bytes from one
// TCP connection go in, the bytes to send back and the completed messages come out. No
// sockets here, so the whole conversation can be tested and fuzzed without a network.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "messenger/NetBios.h"
#include "messenger/Smb.h"

namespace lv::messenger {

// Names and text as they came on the wire: code page 936 bytes. The text has its line
// breaks made CR LF and its trailing NULs removed.
struct Message {
    std::string sender, recipient, text;
};

struct ReceiverLimits {
    // A message whose text, as received, grows past this is refused (ERRSRV/ERRnoroom) and
    // dropped. Line-break normalisation may then double it at most (each lone LF → CR LF).
    size_t maxTextBytes = 4096;
    // One whole session-service frame, header included. Also the most we ever buffer.
    size_t maxFrameBytes = 0x1FFFF + 4;
    // Sender and recipient: a NetBIOS name is 15 bytes and a user name not much more. A
    // longer one is refused (ERRSRV/ERRnoroom) so that no header of a pop-up, log line or
    // capture buffer ever holds a name of frame size.
    size_t maxNameBytes = 255;
};

// Message text as shown: CR LF, a lone LF and the byte 0x14 (the old Windows line-break
// marker) each become one CR LF; trailing NULs are dropped.
std::string NormalizeMessageText(std::string_view raw);

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
    uint32_t OnSendSingle(const SmbPacket& request);
    uint32_t OnSendStart(const SmbPacket& request, std::vector<uint16_t>& words);
    uint32_t OnSendText(const SmbPacket& request);
    uint32_t OnSendEnd(const SmbPacket& request);
    bool NamesFit(const std::string& from, const std::string& to) const;
    // Hands a finished message over; the status to answer with.
    uint32_t Complete(Message message, std::string_view rawText);

    Deliver deliver_;
    ReceiverLimits limits_;
    FrameReader frames_; // holds at most one incomplete frame
    bool closed_ = false;

    // The multi-block message being assembled between D5 and D6.
    bool inGroup_ = false;
    bool groupOverflow_ = false; // text went past maxTextBytes: D6 answers ERRnoroom
    uint16_t groupId_ = 0;
    uint16_t nextGroupId_ = 1;
    Message group_;
    std::string groupText_; // raw text of the blocks so far, at most maxTextBytes
};

} // namespace lv::messenger
