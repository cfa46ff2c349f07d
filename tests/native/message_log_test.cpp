#include "messagelog/MessageLog.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The log's files in memory. Writes can be made to fail, as a full disk does, or be held at
// a gate, as a slow disk holds them.
struct FakeFile : lv::LogFile {
    std::mutex lock;
    std::string content, journal;
    bool exists = false;
    bool failWrites = false;
    bool failRemove = false;
    bool journalUnreadable = false;
    int writes = 0;
    int appends = 0;
    std::mutex gate; // held by a test: every Replace waits for it
    bool Replace(const std::vector<std::string_view>& pieces) override {
        std::lock_guard<std::mutex> wait(gate);
        std::lock_guard<std::mutex> hold(lock);
        ++writes;
        if (failWrites)
            return false;
        content.clear();
        for (std::string_view piece : pieces)
            content += piece;
        exists = true;
        return true;
    }
    bool Remove() override {
        std::lock_guard<std::mutex> hold(lock);
        if (failRemove)
            return false;
        content.clear();
        exists = false;
        return true;
    }
    bool AppendJournal(std::string_view bytes) override {
        std::lock_guard<std::mutex> hold(lock);
        ++appends;
        journal += bytes;
        return true;
    }
    std::optional<std::string> ReadJournal() override {
        std::lock_guard<std::mutex> hold(lock);
        if (journalUnreadable)
            return std::nullopt;
        return journal;
    }
    bool ResetJournal(std::string_view bytes) override {
        std::lock_guard<std::mutex> hold(lock);
        journal = bytes;
        return true;
    }
    std::string Content() {
        std::lock_guard<std::mutex> hold(lock);
        return content;
    }
    std::vector<std::string> JournalRecords() {
        std::lock_guard<std::mutex> hold(lock);
        return lv::ParseJournal(journal).records;
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
    l.log.Load("old 1\nold 2"); // the last line has no break
    EXPECT_EQ(l.log.Text(), "old 1\r\nold 2\r\n");
    EXPECT_EQ(l.file->writes, 0) << "loading writes nothing";
    // A record typed or pasted with bare LF is stored with CR LF too.
    EXPECT_EQ(l.log.Prepend("new\nline"), lv::LogWrite::Written);
    ASSERT_TRUE(l.log.WaitWritten(5000));
    EXPECT_EQ(l.file->Content(), "new\r\nline\r\nold 1\r\nold 2\r\n");
    EXPECT_TRUE(l.file->JournalRecords().empty()) << "folded records leave the journal";
    EXPECT_EQ(lv::NormalizeLogText("a\r\nb\r\n"), "a\r\nb\r\n");
    EXPECT_EQ(lv::NormalizeLogText("a\rb"), "a\r\nb\r\n");
    EXPECT_EQ(lv::NormalizeLogText(""), "");
}

TEST(MessageLog, ARecordIsInTheJournalBeforePrependReturnsAndABurstCostsOneRewrite) {
    Log l;
    l.log.Load(std::string(1000, 'o') + "\r\n");
    std::unique_lock<std::mutex> slowDisk(l.file->gate);
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(l.log.Prepend("r" + std::to_string(i) + "\r\n"), lv::LogWrite::Written);
    // While the disk is held, each record is safe in the journal already.
    std::vector<std::string> journal = l.file->JournalRecords();
    ASSERT_EQ(journal.size(), 50u);
    EXPECT_EQ(journal.front(), "r0\r\n");
    slowDisk.unlock();
    ASSERT_TRUE(l.log.WaitWritten(5000));
    EXPECT_LE(l.file->writes, 2) << "the records wait for the disk together, not one rewrite each";
    EXPECT_EQ(l.file->Content(), l.log.Text());
    EXPECT_EQ(l.file->Content().substr(0, 4), "r49\r");

    // Records taken together reach the journal with one append, the last on top.
    const int appends = l.file->appends;
    ASSERT_EQ(l.log.Prepend(std::vector<std::string>{"x\r\n", "y\r\n"}), lv::LogWrite::Written);
    EXPECT_EQ(l.file->appends, appends + 1);
    EXPECT_EQ(l.log.Text().substr(0, 6), "y\r\nx\r\n");
}

TEST(MessageLog, FailedWriteKeepsTheOldFileAndTheRecordsReachItWhenTheDiskIsBack) {
    Log l;
    std::vector<bool> told;
    l.log.SetFileListener([&](bool written) { told.push_back(written); });
    l.log.Prepend("first\r\n");
    ASSERT_TRUE(l.log.WaitWritten(5000));
    l.file->failWrites = true;
    EXPECT_EQ(l.log.Prepend("second\r\n"), lv::LogWrite::Written) << "safe in the journal";
    EXPECT_FALSE(l.log.WaitWritten(5000));
    EXPECT_EQ(l.file->Content(), "first\r\n") << "the file keeps its old content";
    EXPECT_EQ(l.file->JournalRecords(), std::vector<std::string>{"second\r\n"});
    EXPECT_EQ(l.log.Text(), "second\r\nfirst\r\n") << "the record is not lost";
    l.file->failWrites = false;
    l.log.Prepend("third\r\n");
    ASSERT_TRUE(l.log.WaitWritten(5000));
    EXPECT_EQ(l.file->Content(), "third\r\nsecond\r\nfirst\r\n");
    EXPECT_TRUE(l.file->JournalRecords().empty());
    EXPECT_EQ(told, (std::vector<bool>{false, true})) << "told once when it fails, once when it is back";
}

TEST(MessageLog, AnUnreadableFileIsNeverWrittenUntilTheUserClearsTheLog) {
    Log l;
    l.file->content = "years of messages";
    l.file->exists = true;
    l.log.Hold();
    l.log.Recover();
    EXPECT_EQ(l.log.Prepend("new\r\n"), lv::LogWrite::Held);
    EXPECT_EQ(l.log.Prepend("newer\r\n"), lv::LogWrite::Held);
    EXPECT_FALSE(l.log.Finish(0) && l.file->writes > 0);
    EXPECT_EQ(l.file->writes, 0);
    EXPECT_EQ(l.file->Content(), "years of messages");
    EXPECT_EQ(l.log.Text(), "newer\r\nnew\r\n");
    EXPECT_EQ(l.file->JournalRecords().size(), 2u) << "kept for a run that can read the file";
}

TEST(MessageLog, ClearingAHeldLogFreesItOnlyWhenTheFileIsGone) {
    Log l;
    l.file->content = "years of messages";
    l.log.Hold();
    l.log.Prepend("x\r\n");
    l.file->failRemove = true;
    l.log.Clear();
    EXPECT_TRUE(l.log.Held());
    EXPECT_EQ(l.log.Prepend("x\r\n"), lv::LogWrite::Held);
    l.file->failRemove = false;
    l.log.Clear();
    EXPECT_FALSE(l.log.Held());
    EXPECT_TRUE(l.file->JournalRecords().empty());
    EXPECT_EQ(l.log.Prepend("after\r\n"), lv::LogWrite::Written);
    ASSERT_TRUE(l.log.WaitWritten(5000));
    EXPECT_EQ(l.file->Content(), "after\r\n") << "a cleared log starts again with one record";
}

TEST(MessageLog, AfterACrashTheJournalsRecordsComeBackOnceAndInOrder) {
    const std::string a = "a\r\n", b = "b\r\n", c = "c\r\n", old = "old\r\n";
    struct Case {
        const char* what;
        std::string file;    // as the crash left it
        std::string journal; // as the crash left it
        std::string after;   // the log after Recover
        size_t recovered;
    } cases[] = {
        {"nothing folded yet", old, lv::JournalFrame(a) + lv::JournalFrame(b), b + a + old, 2},
        {"folded, journal not yet emptied", b + a + old, lv::JournalFrame(a) + lv::JournalFrame(b),
         b + a + old, 0},
        {"a fold of the first two, the third came during it", b + a + old,
         lv::JournalFrame(a) + lv::JournalFrame(b) + lv::JournalFrame(c), c + b + a + old, 1},
        {"a record cut short by the crash is not taken",  old,
         lv::JournalFrame(a) + lv::JournalFrame(b).substr(0, 9), a + old, 1},
        {"no journal", old, "", old, 0},
    };
    for (const Case& k : cases) {
        Log l;
        l.file->content = k.file;
        l.file->journal = k.journal;
        l.log.Load(k.file);
        EXPECT_EQ(l.log.Recover(), k.recovered) << k.what;
        EXPECT_EQ(l.log.Text(), k.after) << k.what;
        ASSERT_TRUE(l.log.Finish(5000)) << k.what;
        EXPECT_EQ(l.file->Content(), k.after) << k.what;
        EXPECT_TRUE(l.file->JournalRecords().empty()) << k.what;
    }
    Log unreadable;
    unreadable.file->journalUnreadable = true;
    unreadable.log.Load(old);
    unreadable.log.Recover();
    EXPECT_TRUE(unreadable.log.Held()) << "a journal that cannot be read is never emptied";
}

TEST(MessageLog, AJournalCutAnywhereGivesTheRecordsBeforeTheCut) {
    const std::vector<std::string> records{"第一条\r\n", "", "third\r\n\r\n"};
    std::string journal;
    std::vector<size_t> ends;
    for (const std::string& r : records) {
        journal += lv::JournalFrame(r);
        ends.push_back(journal.size());
    }
    for (size_t cut = 0; cut <= journal.size(); ++cut) {
        lv::JournalContent got = lv::ParseJournal(std::string_view(journal).substr(0, cut));
        size_t whole = 0;
        while (whole < ends.size() && ends[whole] <= cut)
            ++whole;
        ASSERT_EQ(got.records.size(), whole) << "cut at " << cut;
        EXPECT_EQ(got.validBytes, whole ? ends[whole - 1] : 0);
    }
    // A damaged byte in a record ends the journal there.
    std::string damaged = journal;
    damaged[ends[1] + 20] ^= 0x20;
    EXPECT_EQ(lv::ParseJournal(damaged).records.size(), 2u);
    damaged[ends[0] - 2] ^= 0x01;
    EXPECT_EQ(lv::ParseJournal(damaged).records.size(), 0u);
    EXPECT_EQ(lv::ParseJournal(std::string(64, '\0')).records.size(), 0u);
}

TEST(MessageLog, AtTheEndEveryRecordIsFoldedAndLaterOnesWaitInTheJournal) {
    Log l;
    l.log.Load("old\r\n");
    std::unique_lock<std::mutex> slowDisk(l.file->gate);
    l.log.Prepend("a\r\n");
    slowDisk.unlock();
    EXPECT_TRUE(l.log.Finish(5000));
    EXPECT_EQ(l.file->Content(), "a\r\nold\r\n");
    EXPECT_EQ(l.log.Prepend("late\r\n"), lv::LogWrite::Written);
    EXPECT_EQ(l.file->Content(), "a\r\nold\r\n");
    EXPECT_EQ(l.file->JournalRecords(), std::vector<std::string>{"late\r\n"});
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
    std::mutex seen;
    std::vector<std::string> order; // "<version, 8 digits> <record>"
    l.log.SetListener([&](const lv::MessageLog::Change& c) {
        char version[16];
        std::snprintf(version, sizeof version, "%08llu ", static_cast<unsigned long long>(c.version));
        std::lock_guard<std::mutex> hold(seen);
        order.push_back(version + c.record);
    });
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
    // Every record, whole, newest first, in the order of the versions.
    std::sort(order.begin(), order.end());
    std::vector<std::string> versions = order;
    std::string expected;
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        expected += it->substr(it->find(' ') + 1);
    ASSERT_TRUE(l.log.WaitWritten(10000));
    EXPECT_EQ(order.size(), size_t(kThreads * kRecords));
    EXPECT_EQ(l.file->Content(), expected);
    EXPECT_EQ(l.log.Text(), expected);
    EXPECT_LT(l.file->writes, kThreads * kRecords) << "records that wait together are written together";
    for (std::string& r : order)
        r = r.substr(r.find(' ') + 1);
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
    // The log's own excerpt is the same, made from its first bytes only.
    Log l;
    l.log.Load(log.substr(400));
    for (int i = 0; i < 40; ++i)
        l.log.Prepend(log.substr(i * 10, 10));
    EXPECT_EQ(l.log.Excerpt(40, "receive.txt").text, lv::LogExcerpt(l.log.Text(), 40, "receive.txt"));
    // A first line longer than the limit leaves only the note.
    EXPECT_EQ(lv::LogExcerpt(std::string(100, 'x'), 10, "send.txt").find("……"), 0u);
}

} // namespace
