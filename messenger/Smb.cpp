#include "messenger/Smb.h"

namespace lv::messenger {
namespace {

constexpr char kMagic[4] = {'\xFF', 'S', 'M', 'B'};

uint16_t Get16(std::string_view s, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) |
                                 (static_cast<unsigned char>(s[at + 1]) << 8));
}

void Put16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

} // namespace

bool HasSmbHeader(std::string_view smb) {
    return smb.size() >= kSmbHeaderBytes && smb.substr(0, 4) == std::string_view(kMagic, 4);
}

std::optional<SmbHeader> ParseSmbHeader(std::string_view smb) {
    if (!HasSmbHeader(smb))
        return std::nullopt;
    SmbHeader h;
    h.command = static_cast<uint8_t>(smb[4]);
    h.status = Get16(smb, 5) | (static_cast<uint32_t>(Get16(smb, 7)) << 16);
    h.flags = static_cast<uint8_t>(smb[9]);
    h.flags2 = Get16(smb, 10);
    h.pidHigh = Get16(smb, 12);
    h.tid = Get16(smb, 24);
    h.pid = Get16(smb, 26);
    h.uid = Get16(smb, 28);
    h.mid = Get16(smb, 30);
    return h;
}

std::optional<SmbPacket> ParseSmb(std::string_view smb) {
    if (!HasSmbHeader(smb) || smb.size() < kSmbHeaderBytes + 1)
        return std::nullopt;
    SmbPacket p;
    p.header = *ParseSmbHeader(smb);
    size_t pos = kSmbHeaderBytes;
    size_t wordCount = static_cast<unsigned char>(smb[pos++]);
    if (smb.size() - pos < wordCount * 2 + 2)
        return std::nullopt;
    for (size_t i = 0; i < wordCount; ++i, pos += 2)
        p.words.push_back(Get16(smb, pos));
    size_t byteCount = Get16(smb, pos);
    pos += 2;
    if (smb.size() - pos < byteCount)
        return std::nullopt;
    p.bytes.assign(smb.substr(pos, byteCount));
    return p;
}

std::string BuildSmb(const SmbHeader& h, const std::vector<uint16_t>& words,
                     std::string_view bytes) {
    std::string out(kMagic, 4);
    out += static_cast<char>(h.command);
    Put16(out, static_cast<uint16_t>(h.status & 0xFFFF));
    Put16(out, static_cast<uint16_t>(h.status >> 16));
    out += static_cast<char>(h.flags);
    Put16(out, h.flags2);
    Put16(out, h.pidHigh);
    out.append(10, '\0'); // signature and reserved
    Put16(out, h.tid);
    Put16(out, h.pid);
    Put16(out, h.uid);
    Put16(out, h.mid);
    out += static_cast<char>(words.size() & 0xFF);
    for (uint16_t w : words)
        Put16(out, w);
    Put16(out, static_cast<uint16_t>(bytes.size()));
    out.append(bytes);
    return out;
}

SmbHeader ReplyHeader(const SmbHeader& request, uint32_t status) {
    SmbHeader h = request;
    h.status = status;
    h.flags = smb::kFlagReply;
    // DOS statuses: the NT status bit must stay clear whatever the client sent.
    h.flags2 = smb::kFlags2LongNames;
    return h;
}

std::optional<std::string> BufferReader::String() {
    if (rest_.empty() || rest_[0] != static_cast<char>(smb::kBufferString))
        return std::nullopt;
    size_t end = rest_.find('\0', 1);
    if (end == std::string_view::npos)
        return std::nullopt;
    std::string out(rest_.substr(1, end - 1));
    rest_.remove_prefix(end + 1);
    return out;
}

std::optional<std::string> BufferReader::Data() {
    if (rest_.size() < 3 || rest_[0] != static_cast<char>(smb::kBufferData))
        return std::nullopt;
    size_t length = Get16(rest_, 1);
    if (rest_.size() - 3 < length)
        return std::nullopt;
    std::string out(rest_.substr(3, length));
    rest_.remove_prefix(3 + length);
    return out;
}

std::string StringBuffer(std::string_view text) {
    std::string out(1, static_cast<char>(smb::kBufferString));
    out.append(text.substr(0, text.find('\0')));
    out += '\0';
    return out;
}

std::string DataBuffer(std::string_view data) {
    std::string out(1, static_cast<char>(smb::kBufferData));
    Put16(out, static_cast<uint16_t>(data.size()));
    out.append(data);
    return out;
}

} // namespace lv::messenger
