#pragma once
// A message log (send.txt or receive.txt) held in memory: the newest record first, the file
// rewritten whole from memory after each record, by atomic replace, so that a crash or a
// full disk leaves the old file or the new one and never half of one. The file is read only
// once, at start-up; from then on the memory is the log.
//
// Thread-safe: the send workers and the capture put records in front from their threads
// while the history window reads the text on the main thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace lv {

// The same text with every line break (CR LF, a lone CR, a lone LF) made CR LF.
std::string ToCrLf(std::string_view bytes);

// What a text area shows of a log longer than `limit` bytes: its newest part, cut after the
// last whole line that fits, then a line saying that the older records are only in
// `fileName`. A shorter log is shown whole.
std::string LogExcerpt(const std::string& text, size_t limit, std::string_view fileName);

// The file behind a log.
class LogFile {
  public:
    virtual ~LogFile() = default;
    // Replaces the file's content as a whole; false (file untouched) when it failed.
    virtual bool Replace(std::string_view bytes) = 0;
    // True when the file is gone afterwards (or was never there).
    virtual bool Remove() = 0;
};

// What became of the file when a record was put in front.
enum class LogWrite {
    Written,
    // The write failed: the file keeps its old content; the record is in memory and goes
    // into the file with the next write that succeeds.
    Failed,
    // The file could not be read at start-up, so it is not written in this run: its unread
    // content would be lost. The record is in memory only.
    Held,
};

class MessageLog {
  public:
    explicit MessageLog(std::unique_ptr<LogFile> file);

    // Start-up: the file's content (its line breaks made CR LF).
    void Load(std::string_view bytes);
    // Start-up: the file exists but could not be read. It is kept out of every write until
    // the user clears the log.
    void Hold();

    // Puts `record` in front of the log and rewrites the file: one write of the file, the
    // whole log. Records of two threads are never mixed: each call is whole.
    LogWrite Prepend(std::string_view record);
    // Empties the log and deletes its file. When the file could not be deleted, the next
    // write replaces it all the same; a held file that is gone is no longer held.
    void Clear();

    std::string Text() const;
    size_t Size() const;
    bool Held() const;

    // Told of every record put in front and every clear, in the order they happened, on
    // the thread that made them, while the log's lock is held: it must only hand the change
    // on (post it), never call back into the log.
    struct Change {
        uint64_t version = 0; // 1 for the first change of the run, then one more each
        bool cleared = false;
        std::string record; // put in front, when not cleared
    };
    // The text and the version of the last change it holds, read together.
    struct Snapshot {
        std::string text;
        uint64_t version = 0;
    };
    Snapshot Take() const;
    void SetListener(std::function<void(const Change&)> listener);

  private:
    mutable std::mutex lock_;
    std::unique_ptr<LogFile> file_;
    std::string text_;
    bool held_ = false;
    uint64_t version_ = 0;
    std::function<void(const Change&)> listener_;
};

} // namespace lv
