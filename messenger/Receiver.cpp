#include "messenger/Receiver.h"

#include <utility>

namespace lv::messenger {
namespace {

constexpr uint32_t kOk = 0;
constexpr uint32_t kNotAccepted = smb::DosStatus(smb::kErrDos, smb::kErrNotAccepted);
constexpr uint32_t kNoRoom = smb::DosStatus(smb::kErrSrv, smb::kErrNoRoom);

} // namespace

std::string NormalizeMessageText(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
            out += "\r\n";
            ++i;
        } else if (c == '\n' || c == '\x14') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == '\0')
        out.pop_back();
    return out;
}

Receiver::Receiver(Deliver deliver, ReceiverLimits limits)
    : deliver_(std::move(deliver)), limits_(limits), frames_(limits.maxFrameBytes) {}

bool Receiver::Feed(std::string_view bytes, std::string& reply) {
    if (closed_)
        return false;
    std::string frame;
    while (true) {
        switch (frames_.Next(bytes, frame)) {
        case FrameReader::Result::kNeedMore:
            return true;
        case FrameReader::Result::kTooLarge:
            closed_ = true;
            return false;
        case FrameReader::Result::kFrame:
            if (!HandleFrame(frame, reply)) {
                closed_ = true;
                return false;
            }
            break;
        }
    }
}

bool Receiver::HandleFrame(std::string_view frame, std::string& reply) {
    SessionHeader header = *ParseSessionHeader(frame);
    std::string_view payload = frame.substr(kSessionHeaderBytes);
    switch (header.type) {
    case session::kMessage:
        return HandleSmb(payload, reply);
    case session::kRequest:
        // Whatever names the caller used, this is the messenger it wanted.
        reply += SessionFrame(session::kPositive, {});
        return true;
    case session::kKeepAlive:
        return true;
    default:
        return false;
    }
}

bool Receiver::HandleSmb(std::string_view smb, std::string& reply) {
    // Without a whole header there are no ids to echo, and a peer that sends replies to
    // us is not a messenger client: either way nothing sensible can be answered.
    if (!HasSmbHeader(smb) || (static_cast<unsigned char>(smb[9]) & smb::kFlagReply))
        return false;
    std::optional<SmbPacket> request = ParseSmb(smb);
    // When the counts run past the end the request is refused, still echoing its ids.
    SmbHeader header = request ? request->header : *ParseSmbHeader(smb);
    uint32_t status = kNotAccepted;
    std::vector<uint16_t> words;
    if (request) {
        switch (header.command) {
        case smb::kSendSingle:
            status = OnSendSingle(*request);
            break;
        case smb::kSendStart:
            status = OnSendStart(*request, words);
            break;
        case smb::kSendText:
            status = OnSendText(*request);
            break;
        case smb::kSendEnd:
            status = OnSendEnd(*request);
            break;
        default:
            break;
        }
    } else if (header.command == smb::kSendText || header.command == smb::kSendEnd) {
        // A damaged block of the open message: the message can no longer be whole.
        inGroup_ = false;
    }
    if (status != kOk)
        words.clear();
    reply += SessionFrame(session::kMessage, BuildSmb(ReplyHeader(header, status), words, {}));
    return true;
}

uint32_t Receiver::OnSendSingle(const SmbPacket& request) {
    BufferReader in(request.bytes);
    auto from = in.String();
    auto to = in.String();
    auto text = from && to ? in.Data() : std::nullopt;
    if (!text)
        return kNotAccepted;
    if (!NamesFit(*from, *to) || text->size() > limits_.maxTextBytes)
        return kNoRoom;
    return Complete(Message{std::move(*from), std::move(*to), {}}, *text);
}

uint32_t Receiver::OnSendStart(const SmbPacket& request, std::vector<uint16_t>& words) {
    // A new start abandons any message left open.
    inGroup_ = false;
    BufferReader in(request.bytes);
    auto from = in.String();
    auto to = from ? in.String() : std::nullopt;
    if (!to)
        return kNotAccepted;
    // Refused before the group opens, so its blocks and end are answered "not accepted"
    // and nothing of them is kept.
    if (!NamesFit(*from, *to))
        return kNoRoom;
    inGroup_ = true;
    groupOverflow_ = false;
    groupId_ = nextGroupId_++;
    if (nextGroupId_ == 0)
        nextGroupId_ = 1;
    group_ = Message{std::move(*from), std::move(*to), {}};
    groupText_.clear();
    words.push_back(groupId_);
    return kOk;
}

uint32_t Receiver::OnSendText(const SmbPacket& request) {
    if (!inGroup_)
        return kNotAccepted;
    if (request.words.empty() || request.words[0] != groupId_) {
        inGroup_ = false;
        return kNotAccepted;
    }
    BufferReader in(request.bytes);
    auto block = in.Data();
    if (!block) {
        inGroup_ = false;
        return kNotAccepted;
    }
    if (groupOverflow_ || block->size() > limits_.maxTextBytes - groupText_.size()) {
        // Keep the group open so its end is refused too, but hold no more of its text.
        groupOverflow_ = true;
        groupText_.clear();
        return kNoRoom;
    }
    groupText_ += *block;
    return kOk;
}

uint32_t Receiver::OnSendEnd(const SmbPacket& request) {
    if (!inGroup_)
        return kNotAccepted;
    inGroup_ = false;
    if (request.words.empty() || request.words[0] != groupId_)
        return kNotAccepted;
    if (groupOverflow_)
        return kNoRoom;
    std::string raw = std::move(groupText_);
    groupText_.clear();
    return Complete(std::move(group_), raw);
}

bool Receiver::NamesFit(const std::string& from, const std::string& to) const {
    return from.size() <= limits_.maxNameBytes && to.size() <= limits_.maxNameBytes;
}

// The size limit was applied to the text as received (by the callers): normalising lone
// line feeds to CR LF must not turn a message of allowed size into a refused one.
uint32_t Receiver::Complete(Message message, std::string_view rawText) {
    message.text = NormalizeMessageText(rawText);
    if (!deliver_ || !deliver_(message))
        return kNoRoom;
    return kOk;
}

} // namespace lv::messenger
