#pragma once
// NetBIOS over TCP as the Messenger needs it: the 16-byte names and their 34-byte wire form,
// and the session-service frames that carry everything on the connection.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lv::messenger {

constexpr uint8_t kSuffixWorkstation = 0x00;
constexpr uint8_t kSuffixMessenger = 0x03;
constexpr uint8_t kSuffixServer = 0x20;

constexpr size_t kNetBiosNameBytes = 16;
constexpr size_t kEncodedNameBytes = 34;

// The 16-byte name: at most 15 bytes of `name` (never cutting a double-byte character),
// ASCII letters upper-cased, blank padded, then the suffix.
std::string NetBiosName(std::string_view name, uint8_t suffix);

// The wire form of NetBiosName(name, suffix): 0x20, two letters per byte, 0x00.
std::string EncodeNetBiosName(std::string_view name, uint8_t suffix);

struct DecodedName {
    std::string name; // trailing blanks removed; empty for the all-blank form of a long name
    uint8_t suffix = 0;
    size_t wireBytes = 0; // bytes taken from the input, scope labels included
};

// Reads one encoded name at the start of `wire`; nullopt when it is malformed or truncated.
std::optional<DecodedName> DecodeNetBiosName(std::string_view wire);

namespace session {
constexpr uint8_t kMessage = 0x00;
constexpr uint8_t kRequest = 0x81;
constexpr uint8_t kPositive = 0x82;
constexpr uint8_t kNegative = 0x83;
constexpr uint8_t kRetarget = 0x84;
constexpr uint8_t kKeepAlive = 0x85;
} // namespace session

constexpr size_t kSessionHeaderBytes = 4;
// The length field has 17 bits: 16 in the length bytes and the lowest bit of the flags.
constexpr size_t kMaxSessionPayload = 0x1FFFF;

struct SessionHeader {
    uint8_t type = 0;
    size_t length = 0; // payload bytes after the 4-byte header
};

// The first four bytes of a frame; nullopt when fewer are given. Reserved flag bits are
// ignored, as RFC 1002 receivers do.
std::optional<SessionHeader> ParseSessionHeader(std::string_view bytes);

// A whole frame; the payload must not be longer than kMaxSessionPayload.
std::string SessionFrame(uint8_t type, std::string_view payload);

// Session request from `calling` to `called`, both already in wire form.
std::string SessionRequest(std::string_view calledWire, std::string_view callingWire);

// Cuts a byte stream into whole frames while never holding more than one frame's worth.
class FrameReader {
  public:
    explicit FrameReader(size_t maxFrameBytes) : maxFrameBytes_(maxFrameBytes) {}

    enum class Result { kNeedMore, kFrame, kTooLarge };

    // Takes bytes from the front of `input` (advancing it) until a frame is complete, then
    // returns kFrame with the whole frame, header included, in `frame`. kTooLarge when the
    // header announces a frame over the limit: the stream cannot be followed any further.
    Result Next(std::string_view& input, std::string& frame);

    // Bytes of an incomplete frame held back.
    size_t Pending() const { return pending_.size(); }

  private:
    size_t maxFrameBytes_;
    std::string pending_;
};

} // namespace lv::messenger
