#include "messenger/Receiver.h"
#include "messenger/Sender.h"

#include <functional>

#include <gtest/gtest.h>

using namespace std::string_literals;
using namespace lv::messenger;

namespace {

bool IsLead(char c) {
    auto b = static_cast<unsigned char>(c);
    return b >= 0x81 && b <= 0xFE;
}

// Start offset of every character of a GBK text.
std::vector<size_t> CharacterStarts(const std::string& text) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); i += (IsLead(text[i]) && i + 1 < text.size()) ? 2 : 1)
        starts.push_back(i);
    return starts;
}

struct Outcome {
    uint32_t status = 0xFFFFFFFF;
    SendResult result;
    std::vector<Message> delivered;
    int connections = 0;
    std::vector<std::string> clientFrames; // everything the sender wrote, frame by frame
};

// Runs a sender against a peer that answers each frame; a fresh peer per connection.
// `peer` returns false to close the connection.
using Peer = std::function<bool(std::string_view in, std::string& out)>;

Outcome Converse(SendRequest request, const std::function<Peer(Outcome&)>& makePeer) {
    Outcome o;
    Sender sender(std::move(request));
    for (int attempt = 0; attempt < 3 && !sender.Done(); ++attempt) {
        ++o.connections;
        Peer peer = makePeer(o);
        std::string toPeer = sender.Connected();
        Sender::Step step = Sender::Step::kWait;
        for (int rounds = 0; rounds < 1000 && step == Sender::Step::kWait; ++rounds) {
            if (toPeer.empty()) {
                sender.Fail(status::kNetworkError); // nothing to say: the peer waits forever
                break;
            }
            FrameReader split(kSessionHeaderBytes + kMaxSessionPayload);
            std::string_view view = toPeer;
            std::string frame;
            while (split.Next(view, frame) == FrameReader::Result::kFrame)
                o.clientFrames.push_back(frame);
            std::string back;
            bool open = peer(toPeer, back);
            toPeer.clear();
            // Replies fed one byte at a time: the split must not matter.
            for (size_t i = 0; i < back.size() && step == Sender::Step::kWait; ++i)
                step = sender.Feed(back.substr(i, 1), toPeer);
            if (step == Sender::Step::kWait && !open) {
                sender.Fail(status::kNetworkError);
                break;
            }
        }
        if (step != Sender::Step::kReconnect)
            break;
    }
    o.status = sender.Status();
    o.result = sender.Result();
    return o;
}

Peer ReceiverPeer(Outcome& o, bool accept = true) {
    auto receiver = std::make_shared<Receiver>([&o, accept](const Message& m) {
        o.delivered.push_back(m);
        return accept;
    });
    return [receiver](std::string_view in, std::string& out) { return receiver->Feed(in, out); };
}

// Answers every SMB request through `answer(request) -> reply smb`, and every session
// request with `session` (empty: positive).
Peer ScriptedPeer(std::function<std::string(const SmbPacket&)> answer,
                  std::string session = "\x82\0\0\0"s) {
    return [answer, session](std::string_view in, std::string& out) {
        FrameReader split(kSessionHeaderBytes + kMaxSessionPayload);
        std::string frame;
        while (split.Next(in, frame) == FrameReader::Result::kFrame) {
            if (frame[0] == '\x81') {
                out += session;
                continue;
            }
            auto req = ParseSmb(std::string_view(frame).substr(4));
            if (!req)
                return false;
            out += answer(*req);
        }
        return true;
    };
}

std::string Reply(const SmbPacket& req, uint32_t status, std::vector<uint16_t> words = {}) {
    return SessionFrame(session::kMessage, BuildSmb(ReplyHeader(req.header, status), words, {}));
}

const std::string kChinese = "你好，世界！\r\n第二行：Lumivale 信使服务测试";

SendRequest Request(std::string text, bool session = false) {
    return SendRequest{"张三", "LUMIVALE", std::move(text), session, "MYPC"};
}

} // namespace

TEST(SenderBlocks, NeverSplitADoubleByteCharacter) {
    const std::string chinese = "中文字符测试信使服务";
    for (size_t prefix = 0; prefix < 4; ++prefix) {
        for (size_t count = 0; count < 200; count += 7) {
            std::string text(prefix, 'a');
            for (size_t i = 0; i < count; ++i)
                text += chinese.substr((i % 10) * 2, 2);
            text += "\x81"; // a lone lead byte at the very end still goes out
            auto blocks = SplitTextBlocks(text);
            std::vector<size_t> starts = CharacterStarts(text);
            std::string joined;
            for (const std::string& b : blocks) {
                ASSERT_FALSE(b.empty());
                ASSERT_LE(b.size(), kMaxBlockBytes);
                // Each block begins where a character begins.
                EXPECT_TRUE(std::binary_search(starts.begin(), starts.end(), joined.size()))
                    << prefix << "/" << count;
                joined += b;
            }
            EXPECT_EQ(joined, text);
            // Blocks are full unless the next character would not fit.
            for (size_t i = 0; i + 1 < blocks.size(); ++i)
                EXPECT_GE(blocks[i].size(), kMaxBlockBytes - 1);
        }
    }
    EXPECT_EQ(SplitTextBlocks(std::string(254, 'x')).size(), 2u);
    EXPECT_EQ(SplitTextBlocks(std::string(255, 'x')).size(), 3u);
    EXPECT_TRUE(SplitTextBlocks("").empty());
}

TEST(SenderLoopBack, ChineseTwoLineTextArrivesExactly) {
    std::string longText;
    for (int i = 0; i < 40; ++i)
        longText += "第" + std::to_string(i) + "行，中文\r\n";
    for (bool session : {false, true}) {
        for (const std::string& text : {kChinese, longText, ""s, "x"s}) {
            Outcome o =
                Converse(Request(text, session), [](Outcome& o) { return ReceiverPeer(o); });
            EXPECT_EQ(o.status, status::kSuccess) << session << text;
            ASSERT_EQ(o.delivered.size(), 1u);
            EXPECT_EQ(o.delivered[0].sender, "张三");
            EXPECT_EQ(o.delivered[0].recipient, "LUMIVALE");
            EXPECT_EQ(o.delivered[0].text, text);
            EXPECT_EQ(o.connections, 1);
        }
    }
}

TEST(SenderFrames, SessionRequestThenStartTextsAndEndWithFreshIds) {
    Outcome o =
        Converse(Request(std::string(200, 'm'), true), [](Outcome& o) { return ReceiverPeer(o); });
    ASSERT_EQ(o.status, status::kSuccess);
    ASSERT_EQ(o.clientFrames.size(), 5u);
    EXPECT_EQ(o.clientFrames[0],
              SessionRequest(EncodeNetBiosName("LUMIVALE", 3), EncodeNetBiosName("MYPC", 0)));
    const uint8_t commands[] = {smb::kSendStart, smb::kSendText, smb::kSendText, smb::kSendEnd};
    std::vector<uint16_t> mids;
    for (size_t i = 0; i < 4; ++i) {
        auto p = ParseSmb(std::string_view(o.clientFrames[i + 1]).substr(4));
        ASSERT_TRUE(p);
        EXPECT_EQ(p->header.command, commands[i]);
        EXPECT_EQ(p->header.flags & smb::kFlagReply, 0);
        mids.push_back(p->header.mid);
        if (i > 0) {
            EXPECT_EQ(p->words, std::vector<uint16_t>{1});
        }
    }
    EXPECT_TRUE(mids[0] != mids[1] && mids[1] != mids[2] && mids[2] != mids[3]);
}

TEST(SenderFrames, StartReplyWithoutWordsMeansGroupZero) {
    std::vector<uint16_t> groupsSeen;
    Outcome o = Converse(Request(kChinese), [&](Outcome&) {
        return ScriptedPeer([&](const SmbPacket& req) {
            if (req.header.command != smb::kSendStart)
                groupsSeen.push_back(req.words.empty() ? 0xFFFF : req.words[0]);
            return Reply(req, 0);
        });
    });
    EXPECT_EQ(o.status, status::kSuccess);
    EXPECT_EQ(groupsSeen, (std::vector<uint16_t>{0, 0}));
}

TEST(SenderFrames, NegativeSessionResponseRetriesOnceAsSmbServer) {
    for (int refusals : {1, 2}) {
        int seen = 0;
        Outcome o = Converse(Request("hi", true), [&](Outcome& out) -> Peer {
            if (seen++ < refusals)
                return ScriptedPeer([](const SmbPacket& r) { return Reply(r, 0); },
                                    "\x83\0\0\x01\x82"s);
            return ReceiverPeer(out);
        });
        if (refusals == 1) {
            EXPECT_EQ(o.status, status::kSuccess);
            EXPECT_EQ(o.connections, 2);
            ASSERT_GE(o.clientFrames.size(), 2u);
            EXPECT_EQ(o.clientFrames[1], SessionRequest(EncodeNetBiosName("*SMBSERVER", 0x20),
                                                        EncodeNetBiosName("MYPC", 0)));
            EXPECT_EQ(o.delivered.size(), 1u);
        } else {
            EXPECT_EQ(o.status, status::kNameNotFound);
            EXPECT_EQ(o.connections, 2);
        }
    }
}

TEST(SenderStatus, ReceiverRefusalsAndBrokenRepliesAreFailures) {
    auto failAt = [](uint8_t command, std::function<std::string(const SmbPacket&)> bad) {
        return [command, bad](Outcome&) {
            return ScriptedPeer([command, bad](const SmbPacket& req) {
                if (req.header.command == command)
                    return bad(req);
                return Reply(req, 0,
                             req.header.command == smb::kSendStart ? std::vector<uint16_t>{5}
                                                                   : std::vector<uint16_t>{});
            });
        };
    };
    auto status = [](uint8_t cls, uint16_t code) {
        return [cls, code](const SmbPacket& r) { return Reply(r, smb::DosStatus(cls, code)); };
    };
    struct Case {
        const char* why;
        std::function<Peer(Outcome&)> peer;
        uint32_t expected;
        SendFailure failure;
    } cases[] = {
        {"paused at start", failAt(smb::kSendStart, status(smb::kErrSrv, smb::kErrPaused)),
         status::kPausedRemote, SendFailure::kPeerRefused},
        {"messages off at start", failAt(smb::kSendStart, status(smb::kErrSrv, smb::kErrMsgOff)),
         status::kBadReceive, SendFailure::kPeerRefused},
        {"no room at a block", failAt(smb::kSendText, status(smb::kErrSrv, smb::kErrNoRoom)),
         status::kBadReceive, SendFailure::kPeerRefused},
        // A "no" to the end is an answer: the message was not shown.
        {"no room at the end", failAt(smb::kSendEnd, status(smb::kErrSrv, smb::kErrNoRoom)),
         status::kBadReceive, SendFailure::kPeerRefused},
        {"request not accepted", failAt(smb::kSendText, status(smb::kErrDos, 71)),
         status::kNetworkError, SendFailure::kPeerRefused},
        {"NT status error",
         failAt(smb::kSendEnd,
                [](const SmbPacket& r) {
                    SmbHeader h = ReplyHeader(r.header, 0xC0000001);
                    h.flags2 |= smb::kFlags2NtStatus;
                    return SessionFrame(0, BuildSmb(h, {}, {}));
                }),
         status::kNetworkError, SendFailure::kPeerRefused},
        {"wrong MID",
         failAt(smb::kSendText,
                [](const SmbPacket& r) {
                    SmbHeader h = ReplyHeader(r.header, 0);
                    ++h.mid;
                    return SessionFrame(0, BuildSmb(h, {}, {}));
                }),
         status::kNetworkError, SendFailure::kBroken},
        {"wrong command",
         failAt(smb::kSendEnd,
                [](const SmbPacket& r) {
                    SmbHeader h = ReplyHeader(r.header, 0);
                    h.command = smb::kSendText;
                    return SessionFrame(0, BuildSmb(h, {}, {}));
                }),
         status::kNetworkError, SendFailure::kUnconfirmed},
        {"reply flag missing",
         failAt(smb::kSendEnd,
                [](const SmbPacket& r) {
                    SmbHeader h = ReplyHeader(r.header, 0);
                    h.flags = 0;
                    return SessionFrame(0, BuildSmb(h, {}, {}));
                }),
         status::kNetworkError, SendFailure::kUnconfirmed},
        {"start reply with two words",
         failAt(smb::kSendStart,
                [](const SmbPacket& r) {
                    return Reply(r, 0, {1, 2});
                }),
         status::kNetworkError, SendFailure::kNotMessenger},
        {"garbage instead of an SMB",
         failAt(smb::kSendText, [](const SmbPacket&) { return SessionFrame(0, "garbage"); }),
         status::kNetworkError, SendFailure::kBroken},
        {"session frame in place of a reply",
         failAt(smb::kSendText, [](const SmbPacket&) { return "\x82\0\0\0"s; }),
         status::kNetworkError, SendFailure::kBroken},
        {"silence at the end", failAt(smb::kSendEnd, [](const SmbPacket&) { return ""s; }),
         status::kNetworkError, SendFailure::kUnconfirmed},
        {"receiver refuses delivery", [](Outcome& o) { return ReceiverPeer(o, false); },
         status::kBadReceive, SendFailure::kPeerRefused},
    };
    for (const Case& c : cases) {
        Outcome o = Converse(Request(std::string(300, 'k')), c.peer);
        EXPECT_EQ(o.status, c.expected) << c.why;
        EXPECT_EQ(o.result.failure, c.failure) << c.why;
    }
}

TEST(SenderStatus, WhyASendFailedFollowsHowFarItGot) {
    // NetBIOS with no messenger behind it, under both names: no messenger.
    Outcome netbios = Converse(Request("hi", true), [](Outcome&) {
        return ScriptedPeer([](const SmbPacket& r) { return Reply(r, 0); }, "\x83\0\0\x01\x82"s);
    });
    EXPECT_EQ(netbios.result.failure, SendFailure::kNotMessenger);
    EXPECT_EQ(netbios.result.status, status::kNameNotFound);

    // Names refused at the start, text refused at a block: told apart.
    auto refuse = [](uint8_t command) {
        return [command](Outcome&) {
            return ScriptedPeer([command](const SmbPacket& r) {
                if (r.header.command == command)
                    return Reply(r, smb::DosStatus(smb::kErrSrv, smb::kErrNoRoom));
                return Reply(r, 0,
                             r.header.command == smb::kSendStart ? std::vector<uint16_t>{7}
                                                                 : std::vector<uint16_t>{});
            });
        };
    };
    Outcome names = Converse(Request("hi"), refuse(smb::kSendStart));
    EXPECT_EQ(names.result.phase, SendPhase::kNames);
    EXPECT_EQ(names.result.smbStatus, smb::DosStatus(smb::kErrSrv, smb::kErrNoRoom));
    EXPECT_EQ(Converse(Request("hi"), refuse(smb::kSendText)).result.phase, SendPhase::kText);

    // The peer hangs up: before it said anything it turned us away, later it cut us short,
    // and once the end is out the message may be on its screen.
    Sender early(Request("hi"));
    early.Connected();
    early.Fail(status::kNetworkError, SendFailure::kClosed);
    EXPECT_EQ(early.Result().failure, SendFailure::kClosed);

    Sender midway(Request(std::string(300, 'm')));
    Receiver receiver([](const Message&) { return true; });
    std::string out = midway.Connected(), back;
    receiver.Feed(out, back);
    out.clear();
    midway.Feed(back, out); // the start is taken, the first block goes out
    midway.Fail(status::kNetworkError, SendFailure::kClosed);
    EXPECT_EQ(midway.Result().failure, SendFailure::kBroken);
    EXPECT_FALSE(midway.EndSent());

    Sender late(Request("hi"));
    Receiver lateReceiver([](const Message&) { return true; });
    out = late.Connected();
    for (int i = 0; i < 2; ++i) { // the start's reply, then the block's: the end goes out
        back.clear();
        lateReceiver.Feed(out, back);
        out.clear();
        late.Feed(back, out);
    }
    ASSERT_TRUE(late.EndSent());
    late.Fail(status::kNetworkError, SendFailure::kNoReply);
    EXPECT_EQ(late.Result().failure, SendFailure::kUnconfirmed);
}

TEST(SenderStatus, OverlongTextsAndMissingRecipientsAreRefusedBeforeSending) {
    Sender tooLong(Request(std::string(kMaxSendTextBytes + 1, 'x')));
    EXPECT_TRUE(tooLong.Done());
    EXPECT_EQ(tooLong.Status(), status::kInvalidParameter);
    EXPECT_EQ(tooLong.Connected(), "");
    Sender noRecipient(SendRequest{"me", "", "hi", false, ""});
    EXPECT_TRUE(noRecipient.Done());
    EXPECT_EQ(noRecipient.Status(), status::kInvalidParameter);
    Outcome atLimit = Converse(Request(std::string(kMaxSendTextBytes, 'x')),
                               [](Outcome& o) { return ReceiverPeer(o); });
    EXPECT_EQ(atLimit.status, status::kSuccess);
}

TEST(SenderStatus, EveryTruncatedReplyStreamIsNeverASuccess) {
    // The whole reply stream of a good conversation, then every prefix of it.
    Outcome full;
    std::string replies;
    {
        Sender sender(Request(kChinese, true));
        Receiver receiver([](const Message&) { return true; });
        std::string out = sender.Connected();
        while (!sender.Done() && !out.empty()) {
            std::string back;
            receiver.Feed(out, back);
            replies += back;
            out.clear();
            sender.Feed(back, out);
        }
        ASSERT_EQ(sender.Status(), status::kSuccess);
    }
    for (size_t cut = 0; cut < replies.size(); ++cut) {
        Sender sender(Request(kChinese, true));
        sender.Connected();
        std::string ignored;
        sender.Feed(std::string_view(replies).substr(0, cut), ignored);
        EXPECT_FALSE(sender.Done() && sender.Status() == status::kSuccess) << cut;
        sender.Fail(status::kNetworkError);
        EXPECT_EQ(sender.Status(), status::kNetworkError) << cut;
    }
}
