#pragma once
// SMB1 as the Messenger uses it: the 32-byte header and the four message commands, with
// the DOS-form error statuses a message receiver answers.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lv::messenger {

constexpr size_t kSmbHeaderBytes = 32;

namespace smb {
constexpr uint8_t kSendSingle = 0xD0; // whole message in one request
constexpr uint8_t kSendStart = 0xD5;  // opens a multi-block message, answers a group id
constexpr uint8_t kSendEnd = 0xD6;    // closes it: the message is complete
constexpr uint8_t kSendText = 0xD7;   // one block of text of the open message

constexpr uint8_t kFlagReply = 0x80;
constexpr uint16_t kFlags2LongNames = 0x0001;
constexpr uint16_t kFlags2NtStatus = 0x4000;

constexpr uint8_t kErrDos = 1;
constexpr uint8_t kErrSrv = 2;
constexpr uint16_t kErrNotAccepted = 71; // ERRDOS: request not accepted
constexpr uint16_t kErrPaused = 81;      // ERRSRV: the messenger is paused
constexpr uint16_t kErrMsgOff = 82;      // ERRSRV: messages are not received
constexpr uint16_t kErrNoRoom = 83;      // ERRSRV: no room for the message

constexpr uint8_t kBufferString = 0x04; // 0x04, NUL-terminated text
constexpr uint8_t kBufferData = 0x01;   // 0x01, 2-byte little-endian length, the bytes

// Status in DOS form as the 4 header bytes read little-endian: class, 0, code (2 bytes).
constexpr uint32_t DosStatus(uint8_t errClass, uint16_t code) {
    return static_cast<uint32_t>(errClass) | (static_cast<uint32_t>(code) << 16);
}
constexpr uint8_t DosClass(uint32_t status) {
    return static_cast<uint8_t>(status & 0xFF);
}
constexpr uint16_t DosCode(uint32_t status) {
    return static_cast<uint16_t>(status >> 16);
}
} // namespace smb

struct SmbHeader {
    uint8_t command = 0;
    uint32_t status = 0;
    uint8_t flags = 0;
    uint16_t flags2 = 0;
    uint16_t pidHigh = 0;
    uint16_t tid = 0, pid = 0, uid = 0, mid = 0;
};

struct SmbPacket {
    SmbHeader header;
    std::vector<uint16_t> words;
    std::string bytes;
};

// True when `smb` starts with the 0xFF 'S' 'M' 'B' header; the rest may still be damaged.
bool HasSmbHeader(std::string_view smb);

// The header alone; nullopt when `smb` has no whole header.
std::optional<SmbHeader> ParseSmbHeader(std::string_view smb);

// One SMB (the payload of a session message). nullopt when the header is missing or the
// word or byte count runs past the end. Bytes after the byte block are ignored.
std::optional<SmbPacket> ParseSmb(std::string_view smb);

// An SMB with the given header, words and bytes (at most 255 words, 65535 bytes).
std::string BuildSmb(const SmbHeader& header, const std::vector<uint16_t>& words,
                     std::string_view bytes);

// A reply to `request`: same command and ids, the reply flag set, the given status.
SmbHeader ReplyHeader(const SmbHeader& request, uint32_t status);

// Cursor over the byte block of a message command; every read checks the bounds.
class BufferReader {
  public:
    explicit BufferReader(std::string_view bytes) : rest_(bytes) {}
    // 0x04 then a NUL-terminated string; nullopt without the marker or the terminator.
    std::optional<std::string> String();
    // 0x01, length, data; nullopt without the marker or when the data runs past the end.
    std::optional<std::string> Data();

  private:
    std::string_view rest_;
};

std::string StringBuffer(std::string_view text); // stops at an embedded NUL
std::string DataBuffer(std::string_view data);   // data of at most 65535 bytes

} // namespace lv::messenger
