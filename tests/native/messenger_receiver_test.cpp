#include "messenger/Receiver.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

using namespace std::string_literals;
using namespace lv::messenger;

namespace {

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

struct Recording {
    std::vector<std::string> client, server; // whole frames, in order
};

// A missing or empty recording fails the test that asked for it: the loops below would
// otherwise run zero times and pass while checking nothing.
Recording LoadRecording(const std::string& file) {
    std::string path = std::string(LV_VECTORS_DIR) + "/" + file;
    std::ifstream in(path);
    Recording r;
    if (!in) {
        ADD_FAILURE() << "recorded session missing: " << path;
        return r;
    }
    std::string side, hex;
    while (in >> side >> hex)
        (side == "C" ? r.client : r.server).push_back(FromHex(hex));
    if (r.client.empty())
        ADD_FAILURE() << "recorded session holds no client frames: " << path;
    return r;
}

std::vector<std::string> SplitFrames(std::string_view stream) {
    FrameReader reader(kSessionHeaderBytes + kMaxSessionPayload);
    std::vector<std::string> frames;
    std::string frame;
    while (reader.Next(stream, frame) == FrameReader::Result::kFrame)
        frames.push_back(frame);
    EXPECT_EQ(reader.Pending(), 0u);
    return frames;
}

// A reply frame is equivalent to the recorded one: same session type; for SMB the same
// command, success, the request's ids echoed, the reply flag and the same word count.
void ExpectEquivalentReply(const std::string& ours, const std::string& recorded,
                           const std::string& request, const std::string& where) {
    ASSERT_GE(ours.size(), 4u) << where;
    ASSERT_EQ(ours[0], recorded[0]) << where;
    if (recorded[0] != '\0') {
        EXPECT_EQ(ours, recorded) << where;
        return;
    }
    auto mine = ParseSmb(std::string_view(ours).substr(4));
    auto theirs = ParseSmb(std::string_view(recorded).substr(4));
    auto req = ParseSmb(std::string_view(request).substr(4));
    ASSERT_TRUE(mine && theirs && req) << where;
    EXPECT_EQ(mine->header.command, theirs->header.command) << where;
    EXPECT_EQ(mine->header.status, 0u) << where;
    EXPECT_TRUE(mine->header.flags & smb::kFlagReply) << where;
    EXPECT_EQ(mine->header.tid, req->header.tid) << where;
    EXPECT_EQ(mine->header.pid, req->header.pid) << where;
    EXPECT_EQ(mine->header.uid, req->header.uid) << where;
    EXPECT_EQ(mine->header.mid, req->header.mid) << where;
    EXPECT_EQ(mine->words.size(), theirs->words.size()) << where;
}

std::string MultiblockText() {
    std::string text;
    for (int i = 0; i < 20; ++i) {
        char line[32];
        snprintf(line, sizeof line, "line %03d abcdefghij\r\n", i);
        text += line;
    }
    return text;
}

struct VectorCase {
    const char* file;
    std::string sender, recipient, text;
};

const VectorCase kVectors[] = {
    {"smbclient-M-port139-ascii.hex", "bob", "RECEIVER", "Hello from smbclient\r\nsecond line\r\n"},
    {"smbclient-M-port1139-chinese.hex", "张三", "LUMIVALE",
     "你好，世界\r\n第二行 second line\r\n"},
    {"smbclient-M-port1139-multiblock.hex", "alice", "LUMIVALE", MultiblockText()},
    {"smbclient-M-port1139-empty.hex", "alice", "LUMIVALE", ""},
};

struct Collected {
    std::vector<Message> messages;
    Receiver::Deliver Sink(bool accept = true) {
        return [this, accept](const Message& m) {
            messages.push_back(m);
            return accept;
        };
    }
};

std::string Smb(uint8_t command, std::vector<uint16_t> words, std::string bytes, uint16_t mid = 1) {
    SmbHeader h;
    h.command = command;
    h.tid = 0x11;
    h.pid = 0x22;
    h.uid = 0x33;
    h.mid = mid;
    return SessionFrame(session::kMessage, BuildSmb(h, words, bytes));
}

std::string Start(const std::string& from = "a", const std::string& to = "b") {
    return Smb(smb::kSendStart, {}, StringBuffer(from) + StringBuffer(to));
}
std::string Text(uint16_t group, const std::string& text) {
    return Smb(smb::kSendText, {group}, DataBuffer(text));
}
std::string End(uint16_t group) {
    return Smb(smb::kSendEnd, {group}, {});
}
std::string Single(const std::string& text) {
    return Smb(smb::kSendSingle, {}, StringBuffer("a") + StringBuffer("b") + DataBuffer(text));
}

// Status of each SMB reply in `reply`, in order.
std::vector<uint32_t> Statuses(const std::string& reply) {
    std::vector<uint32_t> out;
    for (const std::string& f : SplitFrames(reply)) {
        auto p = ParseSmb(std::string_view(f).substr(4));
        out.push_back(p ? p->header.status : 0xFFFFFFFF);
    }
    return out;
}

constexpr uint32_t kOk = 0;
constexpr uint32_t kNotAccepted = smb::DosStatus(smb::kErrDos, smb::kErrNotAccepted);
constexpr uint32_t kNoRoom = smb::DosStatus(smb::kErrSrv, smb::kErrNoRoom);

} // namespace

TEST(ReceiverVectors, RecordedSessionsFedFrameByFrame) {
    for (const VectorCase& v : kVectors) {
        Recording r = LoadRecording(v.file);
        ASSERT_EQ(r.client.size(), r.server.size()) << v.file;
        ASSERT_FALSE(r.client.empty()) << v.file;
        Collected got;
        Receiver receiver(got.Sink());
        for (size_t i = 0; i < r.client.size(); ++i) {
            std::string reply;
            ASSERT_TRUE(receiver.Feed(r.client[i], reply)) << v.file << " frame " << i;
            auto frames = SplitFrames(reply);
            ASSERT_EQ(frames.size(), 1u) << v.file << " frame " << i;
            ExpectEquivalentReply(frames[0], r.server[i], r.client[i],
                                  v.file + " frame "s + std::to_string(i));
        }
        ASSERT_EQ(got.messages.size(), 1u) << v.file;
        EXPECT_EQ(got.messages[0].sender, v.sender) << v.file;
        EXPECT_EQ(got.messages[0].recipient, v.recipient) << v.file;
        EXPECT_EQ(got.messages[0].text, v.text) << v.file;
    }
}

TEST(ReceiverVectors, RecordedSessionsFedByteByByte) {
    for (const VectorCase& v : kVectors) {
        Recording r = LoadRecording(v.file);
        std::string stream;
        for (const std::string& c : r.client)
            stream += c;
        Collected got;
        Receiver receiver(got.Sink());
        std::string reply;
        for (char b : stream)
            ASSERT_TRUE(receiver.Feed(std::string_view(&b, 1), reply)) << v.file;
        auto frames = SplitFrames(reply);
        ASSERT_EQ(frames.size(), r.server.size()) << v.file;
        for (size_t i = 0; i < frames.size(); ++i)
            ExpectEquivalentReply(frames[i], r.server[i], r.client[i],
                                  v.file + " frame "s + std::to_string(i));
        ASSERT_EQ(got.messages.size(), 1u) << v.file;
        EXPECT_EQ(got.messages[0].text, v.text) << v.file;
    }
}

TEST(ReceiverVectors, EveryTruncationDeliversNothing) {
    for (const VectorCase& v : kVectors) {
        Recording r = LoadRecording(v.file);
        std::string stream;
        for (const std::string& c : r.client)
            stream += c;
        for (size_t cut = 0; cut < stream.size(); ++cut) {
            Collected got;
            Receiver receiver(got.Sink());
            std::string reply;
            EXPECT_TRUE(receiver.Feed(std::string_view(stream).substr(0, cut), reply));
            EXPECT_TRUE(got.messages.empty()) << v.file << " cut " << cut;
        }
    }
}

TEST(Receiver, LineBreaksAndTrailingNulsAreNormalised) {
    struct Case {
        std::string raw, shown;
    } cases[] = {
        {"a\r\nb", "a\r\nb"},
        {"a\nb", "a\r\nb"},
        {"a\x14"
         "b",
         "a\r\nb"},
        {"a\r\n\nb", "a\r\n\r\nb"},
        {"a\rb", "a\rb"},
        {"ab\0\0"s, "ab"},
        {"a\0b\0"s, "a\0b"s},
        {"\0"s, ""},
        {"\n\x14", "\r\n\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NormalizeMessageText(c.raw), c.shown) << c.raw;
}

TEST(Receiver, SingleBlockAndMultiBlockMessagesAreDelivered) {
    Collected got;
    Receiver receiver(got.Sink());
    std::string reply;
    // Session request with arbitrary names, keep-alive, then D0 and a D5/D7/D7/D6 group
    // whose CR LF is split across two blocks.
    std::string stream = SessionRequest("junk", "") + SessionFrame(session::kKeepAlive, {}) +
                         Single("one\nline") + Start("张三", "LUMIVALE") + Text(1, "第一行\r") +
                         Text(1, "\n第二行") + End(1);
    ASSERT_TRUE(receiver.Feed(stream, reply));
    auto frames = SplitFrames(reply);
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames[0], "\x82\0\0\0"s);
    ASSERT_EQ(got.messages.size(), 2u);
    EXPECT_EQ(got.messages[0].text, "one\r\nline");
    EXPECT_EQ(got.messages[1].sender, "张三");
    EXPECT_EQ(got.messages[1].text, "第一行\r\n第二行");
    auto start = ParseSmb(std::string_view(frames[2]).substr(4));
    ASSERT_TRUE(start);
    EXPECT_EQ(start->words, std::vector<uint16_t>{1});
    // The next group gets a new id.
    reply.clear();
    ASSERT_TRUE(receiver.Feed(Start(), reply));
    EXPECT_EQ(ParseSmb(std::string_view(reply).substr(4))->words, std::vector<uint16_t>{2});
}

TEST(Receiver, ProtocolErrorsAreRefusedAndNothingIsDelivered) {
    std::string longText(5000, 'x');
    struct Case {
        const char* why;
        std::string stream;
        std::vector<uint32_t> statuses;
    } cases[] = {
        {"D7 without D5", Text(1, "x") + End(1), {kNotAccepted, kNotAccepted}},
        {"D7 with a wrong group",
         Start() + Text(9, "x") + Text(1, "y") + End(1),
         {kOk, kNotAccepted, kNotAccepted, kNotAccepted}},
        {"D6 with a wrong group", Start() + Text(1, "x") + End(2), {kOk, kOk, kNotAccepted}},
        {"D7 without its group word",
         Start() + Smb(smb::kSendText, {}, DataBuffer("x")) + End(1),
         {kOk, kNotAccepted, kNotAccepted}},
        {"D7 with a data length past the end",
         Start() + Smb(smb::kSendText, {1}, "\x01\x09\x00x") + End(1),
         {kOk, kNotAccepted, kNotAccepted}},
        {"D5 without the recipient",
         Smb(smb::kSendStart, {}, StringBuffer("a")) + End(1),
         {kNotAccepted, kNotAccepted}},
        {"D0 without text",
         Smb(smb::kSendSingle, {}, StringBuffer("a") + StringBuffer("b")),
         {kNotAccepted}},
        {"unknown command (negotiate)", Smb(0x72, {}, "\x02NT LM 0.12\0"s), {kNotAccepted}},
        {"text over the limit in one D0", Single(longText), {kNoRoom}},
        {"text growing over the limit",
         Start() + Text(1, longText.substr(0, 4000)) + Text(1, longText.substr(0, 200)) +
             Text(1, "x") + End(1),
         {kOk, kOk, kNoRoom, kNoRoom, kNoRoom}},
    };
    for (const Case& c : cases) {
        Collected got;
        Receiver receiver(got.Sink());
        std::string reply;
        EXPECT_TRUE(receiver.Feed(c.stream, reply)) << c.why;
        EXPECT_EQ(Statuses(reply), c.statuses) << c.why;
        EXPECT_TRUE(got.messages.empty()) << c.why;
        // Every reply echoes the ids of its request.
        for (const std::string& f : SplitFrames(reply)) {
            auto p = ParseSmb(std::string_view(f).substr(4));
            ASSERT_TRUE(p) << c.why;
            EXPECT_EQ(p->header.tid, 0x11);
            EXPECT_EQ(p->header.uid, 0x33);
            EXPECT_TRUE(p->header.flags & smb::kFlagReply);
        }
        // The connection stays usable for a correct message afterwards.
        reply.clear();
        EXPECT_TRUE(receiver.Feed(Single("ok"), reply)) << c.why;
        EXPECT_EQ(Statuses(reply), std::vector<uint32_t>{kOk}) << c.why;
        EXPECT_EQ(got.messages.size(), 1u) << c.why;
    }
}

TEST(Receiver, ConnectionIsClosedOnStreamsThatCannotBeFollowed) {
    std::string notSmb = SessionFrame(session::kMessage, "\xFESMB" + std::string(40, '\0'));
    std::string shortSmb = SessionFrame(session::kMessage, "\xFFSMB\xD0");
    std::string replyFlag = Single("x");
    replyFlag[4 + 9] = '\x80';
    struct Case {
        const char* why;
        std::string stream;
    } cases[] = {
        {"bad SMB magic", notSmb},
        {"SMB shorter than its header", shortSmb},
        {"a reply sent to the receiver", replyFlag},
        {"positive session response from the client", "\x82\0\0\0"s},
        {"unknown session type", "\x42\0\0\0"s},
        {"frame over the size limit", "\x00\x01\xFF\xFF"s},
    };
    for (const Case& c : cases) {
        Collected got;
        Receiver receiver(got.Sink(), ReceiverLimits{4096, 0x10000});
        std::string reply;
        EXPECT_FALSE(receiver.Feed(c.stream + Single("after"), reply)) << c.why;
        EXPECT_TRUE(reply.empty()) << c.why;
        EXPECT_TRUE(receiver.Closed());
        EXPECT_FALSE(receiver.Feed(Single("later"), reply)) << c.why;
        EXPECT_TRUE(got.messages.empty()) << c.why;
    }
}

TEST(Receiver, OnlyMessageRequestAndKeepAliveFramesAreAcceptedFromAClient) {
    for (int type = 0; type < 256; ++type) {
        Collected got;
        Receiver receiver(got.Sink());
        std::string reply;
        std::string frame = type == 0 ? Single("x") : SessionFrame(type, {});
        bool open = receiver.Feed(frame, reply);
        EXPECT_EQ(open, type == 0x00 || type == 0x81 || type == 0x85) << type;
    }
}

TEST(Receiver, SeventeenthLengthBitCarriesALargeFrame) {
    Collected got;
    Receiver receiver(got.Sink(), ReceiverLimits{0x20000, 0x1FFFF + 4});
    std::string text(0xF000, 'z');
    SmbHeader h;
    h.command = smb::kSendSingle;
    // Padding after the byte block takes the frame past 65535 bytes.
    std::string smbBytes =
        BuildSmb(h, {}, StringBuffer("a") + StringBuffer("b") + DataBuffer(text)) +
        std::string(0x2000, '\0');
    std::string frame = SessionFrame(session::kMessage, smbBytes);
    ASSERT_EQ(frame[1], '\x01');
    std::string reply;
    EXPECT_TRUE(receiver.Feed(frame, reply));
    ASSERT_EQ(got.messages.size(), 1u);
    EXPECT_EQ(got.messages[0].text, text);
}

TEST(Receiver, RefusedDeliveryIsAnsweredWithNoRoom) {
    Collected got;
    Receiver receiver(got.Sink(false));
    std::string reply;
    ASSERT_TRUE(receiver.Feed(Single("x") + Start() + Text(1, "y") + End(1), reply));
    EXPECT_EQ(Statuses(reply), (std::vector<uint32_t>{kNoRoom, kOk, kOk, kNoRoom}));
}

TEST(Receiver, BufferingIsBoundedByTheFrameLimit) {
    Collected got;
    Receiver receiver(got.Sink(), ReceiverLimits{4096, 1000});
    std::string reply;
    // A frame just under the limit, fed in pieces, never holds more than the frame.
    std::string frame = Single(std::string(900, 'q'));
    ASSERT_LE(frame.size(), 1000u);
    for (size_t at = 0; at < frame.size(); at += 7)
        ASSERT_TRUE(receiver.Feed(std::string_view(frame).substr(at, 7), reply));
    EXPECT_EQ(got.messages.size(), 1u);
    // One byte over the limit closes without buffering the rest.
    std::string over = SessionFrame(session::kMessage, std::string(997, 'q'));
    EXPECT_FALSE(receiver.Feed(over, reply));
}

TEST(Receiver, NamesOverTheLimitAreRefusedWithNoRoom) {
    const std::string atLimit(255, 'n'), over(256, 'n'), frameSized(60000, 'n');
    struct Case {
        const char* why;
        std::string from, to;
        bool accepted;
    } cases[] = {
        {"both at the limit", atLimit, atLimit, true},
        {"chinese sender at the limit", {}, "b", true},
        {"sender one over", over, "b", false},
        {"recipient one over", "a", over, false},
        {"sender of frame size", frameSized, "b", false},
        {"recipient of frame size", "a", frameSized, false},
    };
    cases[1].from = std::string(85, 'x');
    for (int i = 0; i < 85; ++i)
        cases[1].from += "张"; // 85 + 170 = 255 bytes
    ASSERT_EQ(cases[1].from.size(), 255u);
    for (const Case& c : cases) {
        std::string names = StringBuffer(c.from) + StringBuffer(c.to);
        // Once as one D0, once as a D5/D7/D6 group.
        std::string single = Smb(smb::kSendSingle, {}, names + DataBuffer("hi"));
        std::string group = Smb(smb::kSendStart, {}, names) + Text(1, "hi") + End(1);
        for (bool asGroup : {false, true}) {
            const std::string& stream = asGroup ? group : single;
            Collected got;
            Receiver receiver(got.Sink());
            std::string reply;
            ASSERT_TRUE(receiver.Feed(stream, reply)) << c.why;
            std::vector<uint32_t> statuses = Statuses(reply);
            if (c.accepted) {
                EXPECT_EQ(statuses, std::vector<uint32_t>(statuses.size(), kOk)) << c.why;
                ASSERT_EQ(got.messages.size(), 1u) << c.why;
                EXPECT_EQ(got.messages[0].sender, c.from) << c.why;
                EXPECT_EQ(got.messages[0].recipient, c.to) << c.why;
                continue;
            }
            EXPECT_TRUE(got.messages.empty()) << c.why;
            // A refused start opens no group: its blocks and end are not accepted.
            std::vector<uint32_t> want = {kNoRoom};
            if (asGroup)
                want = {kNoRoom, kNotAccepted, kNotAccepted};
            EXPECT_EQ(statuses, want) << c.why;
            reply.clear();
            EXPECT_TRUE(receiver.Feed(Single("ok"), reply)) << c.why;
            EXPECT_EQ(Statuses(reply), std::vector<uint32_t>{kOk}) << c.why;
        }
    }
}

// The limit is on the text as it came: line breaks that normalisation widens must not push
// an allowed message over it.
TEST(Receiver, TextLimitCountsTheBytesAsReceived) {
    struct Case {
        const char* why;
        std::string raw;
        bool accepted;
    } cases[] = {
        {"4096 lone line feeds", std::string(4096, '\n'), true},
        {"4096 old line-break markers", std::string(4096, '\x14'), true},
        {"half text, half line feeds", std::string(2048, 'a') + std::string(2048, '\n'), true},
        {"4097 bytes", std::string(4097, 'a'), false},
        {"4097 line feeds", std::string(4097, '\n'), false},
    };
    for (const Case& c : cases) {
        // D0 takes the whole text at once; a group gets it in the 127-byte blocks of smbclient.
        std::string group = Start();
        for (size_t at = 0; at < c.raw.size(); at += 127)
            group += Text(1, c.raw.substr(at, 127));
        group += End(1);
        for (const std::string& stream : {Single(c.raw), group}) {
            Collected got;
            Receiver receiver(got.Sink());
            std::string reply;
            ASSERT_TRUE(receiver.Feed(stream, reply)) << c.why;
            uint32_t last = Statuses(reply).back();
            EXPECT_EQ(last, c.accepted ? kOk : kNoRoom) << c.why;
            ASSERT_EQ(got.messages.size(), c.accepted ? 1u : 0u) << c.why;
            if (c.accepted) {
                EXPECT_EQ(got.messages[0].text, NormalizeMessageText(c.raw)) << c.why;
            }
        }
    }
}
