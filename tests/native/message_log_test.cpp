#include "info/MessageLog.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

// A file in memory whose writes can be made to fail, as a full disk does.
struct FakeFile : lv::LogFile {
    std::string content;
    bool exists = false;
    bool failWrites = false;
    bool failRemove = false;
    int writes = 0;
    bool Replace(std::string_view bytes) override {
        ++writes;
        if (failWrites)
            return false;
        content = bytes;
        exists = true;
        return true;
    }
    bool Remove() override {
        if (failRemove)
            return false;
        content.clear();
        exists = false;
        return true;
    }
};

struct Log {
    FakeFile* file;
    lv::MessageLog log;
    Log() : Log(std::make_unique<FakeFile>()) {}
    explicit Log(std::unique_ptr<FakeFile> f) : file(f.get()), log(std::move(f)) {}
};

TEST(MessageLog, EveryLineBreakBecomesCrLf) {
    EXPECT_EQ(lv::ToCrLf("a\nb\rc\r\nd"), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(lv::ToCrLf("\n\n\r\r\r\n"), "\r\n\r\n\r\n\r\n\r\n");
    EXPECT_EQ(lv::ToCrLf("\r"), "\r\n");
    EXPECT_EQ(lv::ToCrLf("\n\r"), "\r\n\r\n") << "LF then CR is two breaks";
    EXPECT_EQ(lv::ToCrLf("无换行"), "无换行");
    EXPECT_EQ(lv::ToCrLf(""), "");
}

TEST(MessageLog, LoadedTextIsShownWithCrLfAndWrittenBackWithTheNextRecord) {
    Log l;
    l.log.Load("old 1\nold 2\n");
    EXPECT_EQ(l.log.Text(), "old 1\r\nold 2\r\n");
    EXPECT_EQ(l.file->writes, 0) << "loading writes nothing";
    EXPECT_EQ(l.log.Prepend("new\r\n"), lv::LogWrite::Written);
    EXPECT_EQ(l.file->content, "new\r\nold 1\r\nold 2\r\n");
    EXPECT_EQ(l.file->writes, 1) << "one record, one write";
}

TEST(MessageLog, FailedWriteKeepsTheOldFileAndTheRecordGoesInWithTheNextWrite) {
    Log l;
    l.log.Prepend("first\r\n");
    l.file->failWrites = true;
    EXPECT_EQ(l.log.Prepend("second\r\n"), lv::LogWrite::Failed);
    EXPECT_EQ(l.file->content, "first\r\n") << "the file keeps its old content";
    EXPECT_EQ(l.log.Text(), "second\r\nfirst\r\n") << "the record is not lost";
    l.file->failWrites = false;
    EXPECT_EQ(l.log.Prepend("third\r\n"), lv::LogWrite::Written);
    EXPECT_EQ(l.file->content, "third\r\nsecond\r\nfirst\r\n");
}

TEST(MessageLog, AnUnreadableFileIsNeverWrittenUntilTheUserClearsTheLog) {
    Log l;
    l.file->content = "years of messages";
    l.file->exists = true;
    l.log.Hold();
    EXPECT_EQ(l.log.Prepend("new\r\n"), lv::LogWrite::Held);
    EXPECT_EQ(l.log.Prepend("newer\r\n"), lv::LogWrite::Held);
    EXPECT_EQ(l.file->writes, 0);
    EXPECT_EQ(l.file->content, "years of messages");
    EXPECT_EQ(l.log.Text(), "newer\r\nnew\r\n");

    // Clearing asks to delete the file; one that could not be deleted stays protected.
    l.file->failRemove = true;
    l.log.Clear();
    EXPECT_TRUE(l.log.Held());
    EXPECT_EQ(l.log.Prepend("x\r\n"), lv::LogWrite::Held);
    l.file->failRemove = false;
    l.log.Clear();
    EXPECT_FALSE(l.log.Held());
    EXPECT_EQ(l.log.Prepend("after\r\n"), lv::LogWrite::Written);
    EXPECT_EQ(l.file->content, "after\r\n") << "a cleared log starts again with one record";
}

TEST(MessageLog, ListenerSeesEveryChangeInOrderWithItsVersion) {
    Log l;
    l.log.Load("base\r\n");
    std::vector<lv::MessageLog::Change> seen;
    l.log.SetListener([&](const lv::MessageLog::Change& c) { seen.push_back(c); });
    uint64_t loaded = l.log.Take().version;
    l.log.Prepend("a\r\n");
    l.log.Clear();
    l.log.Prepend("b\r\n");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].record, "a\r\n");
    EXPECT_TRUE(seen[1].cleared);
    EXPECT_EQ(seen[2].record, "b\r\n");
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i].version, loaded + 1 + i);
    lv::MessageLog::Snapshot s = l.log.Take();
    EXPECT_EQ(s.text, "b\r\n");
    EXPECT_EQ(s.version, seen.back().version);
}

TEST(MessageLog, RecordsFromManyThreadsAreNeitherLostNorMixed) {
    Log l;
    std::vector<std::string> order;
    l.log.SetListener([&](const lv::MessageLog::Change& c) { order.push_back(c.record); });
    constexpr int kThreads = 8, kRecords = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&l, t] {
            for (int i = 0; i < kRecords; ++i)
                l.log.Prepend("T" + std::to_string(t) + "-" + std::to_string(i) + std::string(40, 'x') +
                              "\r\n");
        });
    for (std::thread& t : threads)
        t.join();
    // The file is the last write: every record, whole, newest first, in the listener's order.
    std::string expected;
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        expected += *it;
    EXPECT_EQ(order.size(), size_t(kThreads * kRecords));
    EXPECT_EQ(l.file->content, expected);
    EXPECT_EQ(l.log.Text(), expected);
    // Each thread's records keep that thread's order.
    for (int t = 0; t < kThreads; ++t) {
        int next = 0;
        for (const std::string& r : order) {
            if (r.rfind("T" + std::to_string(t) + "-", 0) != 0)
                continue;
            EXPECT_EQ(r.substr(0, r.find('x')), "T" + std::to_string(t) + "-" + std::to_string(next++));
        }
        EXPECT_EQ(next, kRecords);
    }
}

} // namespace

namespace {

TEST(MessageLog, ALongLogIsShownFromItsNewestWholeLinesWithANoteWhereTheRestIs) {
    EXPECT_EQ(lv::LogExcerpt("a\r\nb\r\n", 6, "receive.txt"), "a\r\nb\r\n");
    std::string log;
    for (int i = 0; i < 100; ++i)
        log += "记录" + std::to_string(i) + "\r\n";
    std::string shown = lv::LogExcerpt(log, 40, "receive.txt");
    size_t note = shown.find("……");
    ASSERT_NE(note, std::string::npos);
    EXPECT_LE(note, 40u);
    EXPECT_EQ(log.compare(0, note, shown, 0, note), 0) << "the newest lines, unchanged";
    EXPECT_EQ(shown.substr(note - 2, 2), "\r\n") << "cut after a whole line";
    EXPECT_NE(shown.find("receive.txt"), std::string::npos);
    EXPECT_EQ(shown.substr(shown.size() - 2), "\r\n");
    // A first line longer than the limit leaves only the note.
    EXPECT_EQ(lv::LogExcerpt(std::string(100, 'x'), 10, "send.txt").find("……"), 0u);
}

} // namespace
