#include "messenger/NetBios.h"
#include "messenger/Settings.h"
#include "messenger/Smb.h"

#include <gtest/gtest.h>

using namespace std::string_literals;
using namespace lv::messenger;

TEST(NetBiosName, EncodesTheDocumentedWireForms) {
    struct Case {
        std::string name;
        uint8_t suffix;
        std::string letters;
    } cases[] = {
        {"TARGET", kSuffixMessenger, "FEEBFCEHEFFECACACACACACACACACAAD"},
        {"target", kSuffixMessenger, "FEEBFCEHEFFECACACACACACACACACAAD"},
        {"*SMBSERVER", kSuffixServer, "CKFDENECFDEFFCFGEFFCCACACACACACA"},
        {"", kSuffixWorkstation, "CACACACACACACACACACACACACACACAAA"},
    };
    for (const Case& c : cases) {
        std::string wire = EncodeNetBiosName(c.name, c.suffix);
        EXPECT_EQ(wire, "\x20"s + c.letters + "\0"s) << c.name;
        auto back = DecodeNetBiosName(wire);
        ASSERT_TRUE(back) << c.name;
        EXPECT_EQ(back->suffix, c.suffix);
        EXPECT_EQ(back->wireBytes, kEncodedNameBytes);
    }
    EXPECT_EQ(DecodeNetBiosName(EncodeNetBiosName("target", 3))->name, "TARGET");
}

TEST(NetBiosName, LongNamesAreCutAtFifteenBytesWithoutSplittingACharacter) {
    EXPECT_EQ(NetBiosName("ABCDEFGHIJKLMNOPQRS", 0x20), "ABCDEFGHIJKLMNO\x20"s);
    // "X" then seven two-byte characters: the eighth would need bytes 16 and 17.
    std::string name = "X"
                       "张三李四王五赵六";
    std::string raw = NetBiosName(name, 3);
    ASSERT_EQ(raw.size(), kNetBiosNameBytes);
    EXPECT_EQ(raw.substr(0, 15), name.substr(0, 15));
    // Trail bytes that look like lower-case letters are not upper-cased.
    std::string trailA = "\x81\x61"s;
    EXPECT_EQ(NetBiosName(trailA, 0).substr(0, 2), trailA);
}

TEST(NetBiosName, AllBlankFormOfALongNameIsAccepted) {
    // 15 blanks ("CA") and the suffix 0x03 ("AD").
    std::string wire = "\x20"s;
    for (int i = 0; i < 15; ++i)
        wire += "CA";
    wire += "AD"s + "\0"s;
    auto name = DecodeNetBiosName(wire);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->name, "");
    EXPECT_EQ(name->suffix, 3);
}

TEST(NetBiosName, MalformedWireFormsAreRejected) {
    std::string good = EncodeNetBiosName("PEER", 0);
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(DecodeNetBiosName(good.substr(0, cut))) << cut;
    std::string badLength = good;
    badLength[0] = 0x1F;
    std::string badLetter = good;
    badLetter[5] = 'Q';
    std::string scopeRunsOff = good.substr(0, 33) + "\x05"
                                                    "ab";
    for (const std::string& bad : {badLength, badLetter, scopeRunsOff})
        EXPECT_FALSE(DecodeNetBiosName(bad));
    auto scoped = DecodeNetBiosName(good.substr(0, 33) + "\x03"
                                                         "lan\0"s);
    ASSERT_TRUE(scoped);
    EXPECT_EQ(scoped->wireBytes, 38u);
}

TEST(SessionFrame, SeventeenthLengthBitIsTheLowFlagBit) {
    for (size_t n : {size_t{0}, size_t{1}, size_t{0xFFFF}, size_t{0x10000}, size_t{0x1FFFF}}) {
        std::string frame = SessionFrame(session::kMessage, std::string(n, 'x'));
        ASSERT_EQ(frame.size(), n + 4);
        EXPECT_EQ(static_cast<unsigned char>(frame[1]), n >> 16) << n;
        auto h = ParseSessionHeader(frame);
        ASSERT_TRUE(h);
        EXPECT_EQ(h->length, n);
    }
    // Reserved flag bits do not change the length.
    EXPECT_EQ(ParseSessionHeader("\x00\xFE\x01\x02"s)->length, 0x102u);
    EXPECT_EQ(ParseSessionHeader("\x00\x01\x00\x00"s)->length, 0x10000u);
}

TEST(FrameReader, ReassemblesAnySplitAndRefusesOversizedFrames) {
    std::string stream = SessionFrame(session::kKeepAlive, {}) +
                         SessionFrame(session::kMessage, "hello") +
                         SessionFrame(session::kPositive, {});
    for (size_t step = 1; step <= stream.size(); ++step) {
        FrameReader reader(64);
        std::vector<std::string> frames;
        for (size_t at = 0; at < stream.size(); at += step) {
            std::string_view in = std::string_view(stream).substr(at, step);
            std::string frame;
            while (reader.Next(in, frame) == FrameReader::Result::kFrame)
                frames.push_back(frame);
            EXPECT_TRUE(in.empty());
        }
        ASSERT_EQ(frames.size(), 3u) << step;
        EXPECT_EQ(frames[1], SessionFrame(session::kMessage, "hello"));
        EXPECT_EQ(reader.Pending(), 0u);
    }
    FrameReader small(8);
    std::string big = SessionFrame(session::kMessage, "12345");
    std::string_view in = big;
    std::string frame;
    EXPECT_EQ(small.Next(in, frame), FrameReader::Result::kTooLarge);
    EXPECT_LE(small.Pending(), 8u);
}

TEST(Smb, BuildAndParseRoundTripWithEveryField) {
    SmbHeader h;
    h.command = smb::kSendText;
    h.status = smb::DosStatus(smb::kErrSrv, smb::kErrNoRoom);
    h.flags = 0x80;
    h.flags2 = 0x0001;
    h.pidHigh = 0x1234;
    h.tid = 0x0102;
    h.pid = 0x3061;
    h.uid = 0x0506;
    h.mid = 0x0708;
    std::string bytes = DataBuffer("abc");
    std::string wire = BuildSmb(h, {7}, bytes);
    ASSERT_EQ(wire.size(), kSmbHeaderBytes + 1 + 2 + 2 + bytes.size());
    EXPECT_EQ(wire.substr(5, 4), "\x02\x00\x53\x00"s); // class 2, code 83
    auto p = ParseSmb(wire);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->header.command, h.command);
    EXPECT_EQ(p->header.status, h.status);
    EXPECT_EQ(p->header.pidHigh, h.pidHigh);
    EXPECT_EQ(p->header.tid, h.tid);
    EXPECT_EQ(p->header.pid, h.pid);
    EXPECT_EQ(p->header.uid, h.uid);
    EXPECT_EQ(p->header.mid, h.mid);
    EXPECT_EQ(p->words, std::vector<uint16_t>{7});
    EXPECT_EQ(p->bytes, bytes);
    // Every truncation of it fails cleanly.
    for (size_t cut = 0; cut < wire.size(); ++cut)
        EXPECT_FALSE(ParseSmb(wire.substr(0, cut))) << cut;
}

TEST(Smb, BufferFormatsAreBoundsChecked) {
    BufferReader good(StringBuffer("张三") + StringBuffer("") + DataBuffer("x\0y"s));
    EXPECT_EQ(good.String(), "张三");
    EXPECT_EQ(good.String(), "");
    EXPECT_EQ(good.Data(), "x\0y"s);
    EXPECT_FALSE(good.Data());
    struct Case {
        const char* why;
        std::string bytes;
        bool asString;
    } bad[] = {
        {"string without terminator",
         "\x04"
         "abc",
         true},
        {"string with the wrong marker",
         "\x05"
         "abc\0"s,
         true},
        {"data length past the end",
         "\x01\x05\x00"
         "abc",
         false},
        {"data without its length", "\x01\x05", false},
        {"data with the wrong marker", "\x04\x01\x00x", false},
    };
    for (const Case& c : bad) {
        BufferReader r(c.bytes);
        EXPECT_FALSE(c.asString ? r.String() : r.Data()) << c.why;
    }
}

TEST(MessengerSettings, PortAndAddressFromTheIniFile) {
    struct Case {
        std::string ini;
        std::string address;
        uint16_t port;
    } cases[] = {
        {"", "0.0.0.0", 139},
        {"[Messenger]\r\nPort=1139\r\nAddress=127.0.0.2\r\n", "127.0.0.2", 1139},
        {"[messenger]\nport = 0x473\n", "0.0.0.0", 1139},
        {"[Messenger]\r\nPort=70000\r\n", "0.0.0.0", 139},
        {"[Messenger]\r\nPort=0\r\n", "0.0.0.0", 139},
        {"[Messenger]\r\nPort=abc\r\n", "0.0.0.0", 139},
        {"[Other]\r\nPort=1139\r\n", "0.0.0.0", 139},
    };
    for (const Case& c : cases) {
        MessengerSettings s = ReadMessengerSettings(c.ini);
        EXPECT_EQ(s.address, c.address) << c.ini;
        EXPECT_EQ(s.port, c.port) << c.ini;
    }
}
