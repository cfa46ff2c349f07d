#pragma once
// A message log (send.txt or receive.txt): the newest record first, every line ended by
// CR LF. The file is read once, at start-up; from then on the memory is the log, and the
// file follows it:
//
//  - Each record is first appended to a journal beside the file (one append and one flush,
//    whatever the log's size), so a record that was put in front survives a crash.
//  - A writer thread of the log's own folds every record the journal holds into the file
//    at once, with one atomic replace of the whole file (a crash or a full disk leaves the
//    old file or the new one, never half of one), then empties the journal. A burst of
//    records costs one rewrite, not one per record, and the thread that records never
//    waits for a rewrite.
//  - At start-up the journal is read back: records a crash kept from the file go in front
//    again, records that had reached the file are recognised and not taken twice.
//
// Thread-safe: the send workers and the capture put records in front from their threads
// while the history window reads the text on the main thread. No lock is held while the
// listener is told of a change.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

// The same text with every line break (CR LF, a lone CR, a lone LF) made CR LF.
std::string ToCrLf(std::string_view bytes);
// A log's text as it must be stored: every break CR LF, and the last line ended too.
// Takes the bytes to avoid a copy of a long log that is already right.
std::string NormalizeLogText(std::string bytes);

// What a text area shows of a log longer than `limit` bytes: its newest part, cut after the
// last whole line that fits, then a line saying that the older records are only in
// `fileName`. A shorter log is shown whole.
std::string LogExcerpt(const std::string& text, size_t limit, std::string_view fileName);
// The same from the log's first bytes only (`head`, at least `limit` of them when the log
// is longer) and its whole size.
std::string LogExcerpt(std::string_view head, size_t totalSize, size_t limit,
                       std::string_view fileName);

// The journal's framing: a header line "LVJ1 <length> <checksum>" then the record's bytes.
// A frame that a crash cut short or that is damaged ends the journal: what follows it is
// not read.
std::string JournalFrame(std::string_view record);
struct JournalContent {
    std::vector<std::string> records; // oldest first
    size_t validBytes = 0;            // the frames read; the rest was cut short or damaged
};
JournalContent ParseJournal(std::string_view bytes);
// How many of the journal's records (oldest first) are already at the top of a log whose
// text is `logText`: the newest of them first, as a fold puts them.
size_t RecordsAlreadyInLog(const std::vector<std::string>& records, std::string_view logText);

// The files behind a log.
class LogFile {
  public:
    virtual ~LogFile() = default;
    // Replaces the file's content with the pieces one after the other, as a whole; false
    // (file untouched) when it failed.
    virtual bool Replace(const std::vector<std::string_view>& pieces) = 0;
    // True when the file is gone afterwards (or was never there).
    virtual bool Remove() = 0;
    // The journal: appends `bytes` and flushes them to the disk; false when that failed.
    virtual bool AppendJournal(std::string_view bytes) = 0;
    // The journal's content, empty when there is none; nullopt when it exists but cannot be
    // read.
    virtual std::optional<std::string> ReadJournal() = 0;
    // Makes `bytes` the journal's whole content (none: no journal), atomically.
    virtual bool ResetJournal(std::string_view bytes) = 0;
};

// What became of a record put in front.
enum class LogWrite {
    // Safe on disk: in the journal, and in the file as soon as the writer has folded it.
    Written,
    // The journal could not be written: the record is in memory, and goes into the file
    // with the writer's next fold that succeeds.
    Failed,
    // The file (or its journal) could not be read at start-up, so the file is not written
    // in this run: its unread content would be lost. The record is kept in the journal
    // for a later run.
    Held,
};

class MessageLog {
  public:
    explicit MessageLog(std::unique_ptr<LogFile> file);
    // Folds what is left (bounded wait, see Finish) and stops the writer.
    ~MessageLog();
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    // Start-up: the file's content (made CR LF throughout).
    void Load(std::string bytes);
    // Start-up: the file exists but could not be read. It is kept out of every write until
    // the user clears the log.
    void Hold();
    // Start-up, after Load or Hold: reads the journal back. Records a crash kept from the
    // file go in front (and into the file soon after); those already in the file are not
    // taken twice. Returns how many went in front. A journal that cannot be read holds
    // the file, as an unreadable file does.
    size_t Recover();

    // Puts `record` in front of the log (its line breaks made CR LF): appended to the
    // journal before this returns; the file follows on the writer thread. Records of two
    // threads are never mixed: each call is whole.
    LogWrite Prepend(std::string_view record);
    // Several records, oldest first (the last ends on top), with one append to the journal:
    // what a burst costs the thread that records it.
    LogWrite Prepend(const std::vector<std::string>& records);
    // Empties the log and deletes its file and journal. When the file could not be deleted,
    // the next fold replaces it all the same; a held file that is gone is no longer held.
    // Waits for a fold under way.
    void Clear();

    // At the end of the program: folds every record into the file and stops the writer;
    // true when all are in the file within `milliseconds`. Later records go into the
    // journal only (the next run folds them).
    bool Finish(unsigned milliseconds);
    // Until every record so far is in the file or a fold has failed; true when they are.
    bool WaitWritten(unsigned milliseconds) const;

    std::string Text() const;
    size_t Size() const;
    bool Held() const;
    // How many times the file has been rewritten in this run.
    size_t FileWrites() const;

    // Told of every record put in front and every clear, on the thread that made it, with
    // no lock held. Two threads' changes may be told in another order than they happened:
    // the version says which came first.
    struct Change {
        uint64_t version = 0; // 1 for the first change of the run, then one more each
        bool cleared = false;
        std::string record; // put in front, when not cleared
    };
    // A text and the version of the last change it holds, read together.
    struct Snapshot {
        std::string text;
        uint64_t version = 0;
    };
    Snapshot Take() const;
    // What LogExcerpt shows of the log, and its version; costs the excerpt, not the log.
    Snapshot Excerpt(size_t limit, std::string_view fileName) const;
    void SetListener(std::function<void(const Change&)> listener);
    // Told on the writer thread, with no lock held, when a fold fails after the file was
    // written (false) and when one succeeds after a failure (true).
    void SetFileListener(std::function<void(bool written)> listener);

  private:
    struct State;
    static void WriterLoop(std::shared_ptr<State> state);
    static bool FoldOnce(State& state);
    // Called with the lock held.
    static void StartWriter(const std::shared_ptr<State>& state);
    // Shared with the writer thread, which may outlive a log whose Finish timed out.
    std::shared_ptr<State> state_;
};

} // namespace lv
