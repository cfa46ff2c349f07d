#include "messenger/Sender.h"

#include <optional>
#include <utility>

#include "framework/Gbk.h"
#include "messenger/Smb.h"

namespace lv::messenger {
namespace {

// Our process id in requests; receivers only echo it.
constexpr uint16_t kPid = 0x4C56;

} // namespace

std::vector<std::string> SplitTextBlocks(std::string_view text, size_t maxBlock) {
    std::vector<std::string> blocks;
    std::string block;
    for (size_t i = 0; i < text.size();) {
        size_t width = GbkCharacterBytes(text, i);
        if (block.size() + width > maxBlock) {
            blocks.push_back(std::move(block));
            block.clear();
        }
        block.append(text.substr(i, width));
        i += width;
    }
    if (!block.empty())
        blocks.push_back(std::move(block));
    return blocks;
}

uint32_t StatusFromSmbError(uint32_t smbStatus, bool ntStatus) {
    if (smbStatus == 0)
        return status::kSuccess;
    if (!ntStatus && smb::DosClass(smbStatus) == smb::kErrSrv) {
        switch (smb::DosCode(smbStatus)) {
        case smb::kErrPaused:
            return status::kPausedRemote;
        case smb::kErrMsgOff:
        case smb::kErrNoRoom:
            return status::kBadReceive;
        default:
            break;
        }
    }
    return status::kNetworkError;
}

Sender::Sender(SendRequest request) : request_(std::move(request)) {
    if (request_.to.empty() || request_.text.size() > kMaxSendTextBytes) {
        phase_ = Phase::kDone;
        status_ = status::kInvalidParameter;
        why_ = SendFailure::kBadArgument;
        return;
    }
    blocks_ = SplitTextBlocks(request_.text);
    // An empty message still needs one block; smbclient sends a single NUL, which every
    // receiver drops as trailing padding.
    if (blocks_.empty())
        blocks_.push_back(std::string(1, '\0'));
}

std::string Sender::Connected() {
    if (phase_ == Phase::kDone)
        return {};
    frames_ = FrameReader(kSessionHeaderBytes + kMaxSessionPayload);
    if (request_.sessionRequest) {
        phase_ = Phase::kSession;
        std::string called = retriedSession_ ? EncodeNetBiosName("*SMBSERVER", kSuffixServer)
                                             : EncodeNetBiosName(request_.to, kSuffixMessenger);
        return SessionRequest(called, EncodeNetBiosName(request_.callingName, kSuffixWorkstation));
    }
    phase_ = Phase::kStart;
    return Request(smb::kSendStart, {}, StringBuffer(request_.from) + StringBuffer(request_.to));
}

std::string Sender::Request(uint8_t command, std::vector<uint16_t> words, std::string_view bytes) {
    SmbHeader h;
    h.command = command;
    h.flags2 = smb::kFlags2LongNames;
    h.pid = kPid;
    h.mid = ++mid_;
    expected_ = command;
    return SessionFrame(session::kMessage, BuildSmb(h, words, bytes));
}

Sender::Step Sender::Feed(std::string_view bytes, std::string& out) {
    std::string frame;
    while (phase_ != Phase::kDone) {
        switch (frames_.Next(bytes, frame)) {
        case FrameReader::Result::kNeedMore:
            return Step::kWait;
        case FrameReader::Result::kTooLarge:
            return Finish(status::kNetworkError, SendFailure::kNotMessenger);
        case FrameReader::Result::kFrame: {
            Step step = HandleFrame(frame, out);
            if (step != Step::kWait)
                return step;
            break;
        }
        }
    }
    return Step::kDone;
}

void Sender::Fail(uint32_t status, SendFailure why) {
    if (phase_ == Phase::kDone)
        return;
    // A peer that hangs up before saying anything has turned us away; one that hangs up
    // later has cut the message short.
    if (why == SendFailure::kClosed && answered_)
        why = SendFailure::kBroken;
    Finish(status, why);
}

Sender::Step Sender::Finish(uint32_t result, SendFailure why) {
    phase_ = Phase::kDone;
    status_ = result;
    // Once the end is out the peer may be showing the message, unless it said no.
    why_ = result == status::kSuccess                     ? SendFailure::kNone
           : endSent_ && why != SendFailure::kPeerRefused ? SendFailure::kUnconfirmed
                                                          : why;
    return Step::kDone;
}

SendResult Sender::Result() const {
    SendResult r;
    r.status = status_;
    r.failure = phase_ == Phase::kDone ? why_ : SendFailure::kBroken;
    r.smbStatus = smbStatus_;
    r.ntStatus = ntStatus_;
    r.phase = errorPhase_;
    return r;
}

Sender::Step Sender::HandleFrame(std::string_view frame, std::string& out) {
    SessionHeader header = *ParseSessionHeader(frame);
    if (header.type == session::kKeepAlive)
        return Step::kWait;
    answered_ = true;
    if (phase_ == Phase::kSession) {
        if (header.type == session::kPositive) {
            phase_ = Phase::kStart;
            out += Request(smb::kSendStart, {},
                           StringBuffer(request_.from) + StringBuffer(request_.to));
            return Step::kWait;
        }
        if (header.type == session::kNegative) {
            // Not listening on the messenger name: servers still take *SMBSERVER.
            if (retriedSession_)
                return Finish(status::kNameNotFound, SendFailure::kNotMessenger);
            retriedSession_ = true;
            return Step::kReconnect;
        }
        return Finish(status::kNetworkError, SendFailure::kNotMessenger);
    }
    // Nonsense before the start was taken: no messenger; after it: the message broke.
    const SendFailure garbled =
        phase_ == Phase::kStart ? SendFailure::kNotMessenger : SendFailure::kBroken;
    if (header.type != session::kMessage)
        return Finish(status::kNetworkError, garbled);

    std::optional<SmbPacket> reply = ParseSmb(frame.substr(kSessionHeaderBytes));
    if (!reply || reply->header.command != expected_ || reply->header.mid != mid_ ||
        !(reply->header.flags & smb::kFlagReply))
        return Finish(status::kNetworkError, garbled);
    if (reply->header.status != 0) {
        smbStatus_ = reply->header.status;
        ntStatus_ = reply->header.flags2 & smb::kFlags2NtStatus;
        errorPhase_ = phase_ == Phase::kStart ? SendPhase::kNames : SendPhase::kText;
        return Finish(StatusFromSmbError(smbStatus_, ntStatus_), SendFailure::kPeerRefused);
    }

    switch (phase_) {
    case Phase::kStart:
        // smbd answers the start with no words at all; the group is then 0.
        if (reply->words.size() > 1)
            return Finish(status::kNetworkError, SendFailure::kNotMessenger);
        group_ = reply->words.empty() ? 0 : reply->words[0];
        phase_ = Phase::kText;
        out += Request(smb::kSendText, {group_}, DataBuffer(blocks_[nextBlock_++]));
        return Step::kWait;
    case Phase::kText:
        if (nextBlock_ < blocks_.size()) {
            out += Request(smb::kSendText, {group_}, DataBuffer(blocks_[nextBlock_++]));
        } else {
            phase_ = Phase::kEnd;
            endSent_ = true;
            out += Request(smb::kSendEnd, {group_}, {});
        }
        return Step::kWait;
    case Phase::kEnd:
        return Finish(status::kSuccess, SendFailure::kNone);
    default:
        return Finish(status::kNetworkError, SendFailure::kBroken);
    }
}

} // namespace lv::messenger
