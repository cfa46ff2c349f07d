#include "messagelog/MessageLog.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace lv {
namespace {

using Piece = std::shared_ptr<const std::string>;

// A failed fold (full disk, a file held open by another program) is tried again after
// this long, or at once when a new record comes.
constexpr auto kRetryDelay = std::chrono::seconds(1);
constexpr char kJournalMagic[] = "LVJ1 ";

uint32_t Checksum(std::string_view bytes) { // FNV-1a: catches a torn or zeroed frame
    uint32_t h = 2166136261u;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

bool HasBareBreak(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            return true;
        if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))
            return true;
    }
    return false;
}

} // namespace

std::string ToCrLf(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 16);
    for (size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string NormalizeLogText(std::string bytes) {
    if (HasBareBreak(bytes))
        bytes = ToCrLf(bytes);
    if (!bytes.empty() && !bytes.ends_with("\r\n"))
        bytes += "\r\n";
    return bytes;
}

std::string LogExcerpt(std::string_view head, size_t totalSize, size_t limit,
                       std::string_view fileName) {
    if (totalSize <= limit)
        return std::string(head.substr(0, totalSize));
    size_t end = head.substr(0, limit).rfind("\r\n", limit >= 2 ? limit - 2 : 0);
    end = end == std::string::npos ? 0 : end + 2;
    return std::string(head.substr(0, end)) + "……更早的记录太多，没有在这里显示（共" +
           std::to_string(totalSize / 1024) + "KB），请用记事本打开" + std::string(fileName) +
           "查看。\r\n";
}

std::string LogExcerpt(const std::string& text, size_t limit, std::string_view fileName) {
    return LogExcerpt(std::string_view(text), text.size(), limit, fileName);
}

std::string JournalFrame(std::string_view record) {
    char header[48];
    std::snprintf(header, sizeof header, "%s%zu %08x\r\n", kJournalMagic, record.size(),
                  static_cast<unsigned>(Checksum(record)));
    return header + std::string(record);
}

JournalContent ParseJournal(std::string_view bytes) {
    JournalContent content;
    size_t at = 0;
    while (at < bytes.size()) {
        std::string_view rest = bytes.substr(at);
        size_t eol = rest.find("\r\n");
        if (!rest.starts_with(kJournalMagic) || eol == std::string_view::npos || eol > 40)
            break;
        std::string_view header = rest.substr(sizeof kJournalMagic - 1, eol - (sizeof kJournalMagic - 1));
        size_t space = header.find(' ');
        if (space == std::string_view::npos || space == 0 || space > 12 ||
            header.size() - space - 1 != 8)
            break;
        size_t length = 0;
        bool digits = true;
        for (char c : header.substr(0, space)) {
            digits = digits && c >= '0' && c <= '9';
            length = length * 10 + static_cast<size_t>(c - '0');
        }
        uint32_t sum = 0;
        for (char c : header.substr(space + 1)) {
            int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            digits = digits && v >= 0;
            sum = sum * 16 + static_cast<uint32_t>(v < 0 ? 0 : v);
        }
        if (!digits || length > rest.size() - eol - 2)
            break;
        std::string_view record = rest.substr(eol + 2, length);
        if (Checksum(record) != sum)
            break;
        content.records.emplace_back(record);
        at += eol + 2 + length;
        content.validBytes = at;
    }
    return content;
}

size_t RecordsAlreadyInLog(const std::vector<std::string>& records, std::string_view logText) {
    // A fold puts the first n records of the journal in front, newest first, and a crash
    // may come before the journal is emptied: find the largest such n.
    for (size_t n = records.size(); n > 0; --n) {
        size_t at = 0;
        bool match = true;
        for (size_t i = n; i-- > 0 && match;) {
            match = logText.substr(at).starts_with(records[i]);
            at += records[i].size();
        }
        if (match)
            return n;
    }
    return 0;
}

struct MessageLog::State {
    explicit State(std::unique_ptr<LogFile> f) : file(std::move(f)) {}

    // Order: fileLock before lock. The writer holds fileLock for a whole fold and lock
    // only to take and commit its snapshot, so a record never waits for a rewrite.
    std::mutex fileLock;
    mutable std::mutex lock;
    mutable std::condition_variable wake;    // the writer: something to fold, or stop
    mutable std::condition_variable changed; // waiters: a fold ended, or the writer did
    std::unique_ptr<LogFile> file;

    Piece base = std::make_shared<const std::string>(); // the file as loaded
    std::vector<Piece> records;                          // put in front since, oldest first
    size_t folded = 0;                                   // how many of them are in the file
    size_t size = 0;
    bool held = false;
    uint64_t version = 0;
    size_t fileWrites = 0;
    size_t failedFolds = 0;
    bool retryNow = false;
    bool stopping = false;
    bool writerRunning = false;
    bool foldFailing = false;
    bool folding = false;
    std::function<void(const Change&)> listener;
    std::function<void(bool)> fileListener;

    bool Pending() const { return !held && folded < records.size(); }
};

MessageLog::MessageLog(std::unique_ptr<LogFile> file)
    : state_(std::make_shared<State>(std::move(file))) {}

MessageLog::~MessageLog() {
    // A fold of a very long log takes a second or two; a disk that hangs must not hang
    // the end of the program, and the journal keeps what is not folded.
    Finish(10000);
}

void MessageLog::Load(std::string bytes) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->base = std::make_shared<const std::string>(NormalizeLogText(std::move(bytes)));
    state_->size = state_->base->size();
    for (const Piece& record : state_->records)
        state_->size += record->size();
    ++state_->version;
}

void MessageLog::Hold() {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->held = true;
}

size_t MessageLog::Recover() {
    State& s = *state_;
    std::optional<std::string> journal;
    {
        std::lock_guard<std::mutex> files(s.fileLock);
        journal = s.file->ReadJournal();
    }
    std::lock_guard<std::mutex> hold(s.lock);
    if (!journal) {
        // Its records are unknown: a fold would empty it and lose them.
        s.held = true;
        return 0;
    }
    JournalContent content = ParseJournal(*journal);
    // A held file is not known: its records stay in the journal and are shown again.
    size_t skip = s.held ? 0 : RecordsAlreadyInLog(content.records, *s.base);
    size_t added = 0;
    for (size_t i = skip; i < content.records.size(); ++i) {
        auto record = std::make_shared<const std::string>(std::move(content.records[i]));
        s.size += record->size();
        s.records.push_back(std::move(record));
        ++added;
    }
    if (added > 0) {
        ++s.version;
        StartWriter(state_);
    } else if (!s.held && !journal->empty()) {
        // Everything in it is in the file already (or was cut short by a crash).
        s.file->ResetJournal({});
    }
    return added;
}

LogWrite MessageLog::Prepend(std::string_view record) {
    return Prepend(std::vector<std::string>{std::string(record)});
}

LogWrite MessageLog::Prepend(const std::vector<std::string>& records) {
    State& s = *state_;
    std::vector<Piece> pieces;
    std::string frames;
    for (const std::string& record : records) {
        pieces.push_back(std::make_shared<const std::string>(NormalizeLogText(record)));
        frames += JournalFrame(*pieces.back());
    }
    std::vector<Change> changes;
    std::function<void(const Change&)> listener;
    LogWrite result;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        // One append and one flush for all of them.
        bool journaled = pieces.empty() || s.file->AppendJournal(frames);
        for (Piece& piece : pieces) {
            s.size += piece->size();
            changes.push_back(Change{++s.version, false, *piece});
            s.records.push_back(std::move(piece));
        }
        listener = s.listener;
        result = s.held ? LogWrite::Held : journaled ? LogWrite::Written : LogWrite::Failed;
        s.retryNow = true;
        if (!records.empty())
            StartWriter(state_);
    }
    s.wake.notify_all();
    if (listener) {
        for (const Change& change : changes)
            listener(change);
    }
    return result;
}

void MessageLog::Clear() {
    State& s = *state_;
    Change change;
    std::function<void(const Change&)> listener;
    {
        std::lock_guard<std::mutex> files(s.fileLock);
        std::lock_guard<std::mutex> hold(s.lock);
        s.base = std::make_shared<const std::string>();
        s.records.clear();
        s.records.shrink_to_fit();
        s.folded = 0;
        s.size = 0;
        if (s.file->Remove()) {
            s.file->ResetJournal({});
            s.held = false;
        }
        change = Change{++s.version, true, {}};
        listener = s.listener;
    }
    if (listener)
        listener(change);
}

void MessageLog::StartWriter(const std::shared_ptr<State>& state) {
    // Started with the first record to fold, so a run that records nothing starts no
    // thread. Detached: it holds the state, and ends by itself once stopped.
    if (state->held || state->writerRunning || state->stopping)
        return;
    state->writerRunning = true;
    std::thread(WriterLoop, state).detach();
}

bool MessageLog::FoldOnce(State& s) {
    std::lock_guard<std::mutex> files(s.fileLock);
    std::vector<Piece> pieces;
    size_t count;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (!s.Pending())
            return true;
        count = s.records.size();
        pieces.assign(s.records.rbegin(), s.records.rend());
        pieces.push_back(s.base);
    }
    std::vector<std::string_view> views;
    views.reserve(pieces.size());
    for (const Piece& piece : pieces)
        views.emplace_back(*piece);
    bool written = s.file->Replace(views);

    std::lock_guard<std::mutex> hold(s.lock);
    if (!written) {
        ++s.failedFolds;
        return false;
    }
    s.folded = count;
    ++s.fileWrites;
    // What came in during the write stays in the journal; the rest is in the file now.
    std::string tail;
    for (size_t i = count; i < s.records.size(); ++i)
        tail += JournalFrame(*s.records[i]);
    s.file->ResetJournal(tail);
    return true;
}

void MessageLog::WriterLoop(std::shared_ptr<State> state) {
    State& s = *state;
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(s.lock);
            s.wake.wait(hold, [&] { return s.stopping || (s.Pending() && s.retryNow); });
            if (!s.Pending())
                break; // stopping with nothing left
            s.retryNow = false;
            s.folding = true;
        }
        bool ok = FoldOnce(s);
        std::function<void(bool)> tell;
        {
            std::lock_guard<std::mutex> hold(s.lock);
            if (ok == s.foldFailing) {
                s.foldFailing = !ok;
                tell = s.fileListener;
            }
        }
        if (tell)
            tell(ok);
        std::unique_lock<std::mutex> hold(s.lock);
        s.folding = false; // only now: a waiter sees the fold and what was told of it
        s.changed.notify_all();
        if (!ok) {
            if (s.stopping)
                break; // the journal keeps the rest for the next run
            s.wake.wait_for(hold, kRetryDelay, [&] { return s.stopping || s.retryNow; });
            s.retryNow = true;
        } else {
            s.retryNow = true;
        }
    }
    {
        std::lock_guard<std::mutex> hold(s.lock);
        s.writerRunning = false;
    }
    s.changed.notify_all();
}

bool MessageLog::Finish(unsigned milliseconds) {
    State& s = *state_;
    std::unique_lock<std::mutex> hold(s.lock);
    s.stopping = true;
    s.wake.notify_all();
    s.changed.wait_for(hold, std::chrono::milliseconds(milliseconds),
                       [&] { return !s.writerRunning; });
    return !s.Pending();
}

bool MessageLog::WaitWritten(unsigned milliseconds) const {
    State& s = *state_;
    std::unique_lock<std::mutex> hold(s.lock);
    size_t failures = s.failedFolds;
    return s.changed.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] {
        return !s.folding && (!s.Pending() || s.failedFolds != failures || !s.writerRunning);
    }) && !s.Pending();
}

std::string MessageLog::Text() const {
    return Take().text;
}

MessageLog::Snapshot MessageLog::Take() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    Snapshot snapshot;
    snapshot.text.reserve(state_->size);
    for (auto it = state_->records.rbegin(); it != state_->records.rend(); ++it)
        snapshot.text += **it;
    snapshot.text += *state_->base;
    snapshot.version = state_->version;
    return snapshot;
}

MessageLog::Snapshot MessageLog::Excerpt(size_t limit, std::string_view fileName) const {
    std::lock_guard<std::mutex> hold(state_->lock);
    std::string head;
    for (auto it = state_->records.rbegin(); it != state_->records.rend() && head.size() < limit;
         ++it)
        head += **it;
    if (head.size() < limit)
        head.append(*state_->base, 0, limit - head.size());
    return Snapshot{LogExcerpt(head, state_->size, limit, fileName), state_->version};
}

size_t MessageLog::Size() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->size;
}

bool MessageLog::Held() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->held;
}

size_t MessageLog::FileWrites() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->fileWrites;
}

void MessageLog::SetFileListener(std::function<void(bool written)> listener) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->fileListener = std::move(listener);
}

void MessageLog::SetListener(std::function<void(const Change&)> listener) {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->listener = std::move(listener);
}

} // namespace lv
