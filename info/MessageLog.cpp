#include "info/MessageLog.h"

namespace lv {

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

std::string LogExcerpt(const std::string& text, size_t limit, std::string_view fileName) {
    if (text.size() <= limit)
        return text;
    size_t end = text.rfind("\r\n", limit >= 2 ? limit - 2 : 0);
    end = end == std::string::npos ? 0 : end + 2;
    return text.substr(0, end) + "……更早的记录太多，没有在这里显示（共" +
           std::to_string(text.size() / 1024) + "KB），请用记事本打开" + std::string(fileName) +
           "查看。\r\n";
}

MessageLog::MessageLog(std::unique_ptr<LogFile> file) : file_(std::move(file)) {}

void MessageLog::Load(std::string_view bytes) {
    std::lock_guard<std::mutex> hold(lock_);
    text_ = ToCrLf(bytes);
    ++version_;
}

void MessageLog::Hold() {
    std::lock_guard<std::mutex> hold(lock_);
    held_ = true;
}

LogWrite MessageLog::Prepend(std::string_view record) {
    std::lock_guard<std::mutex> hold(lock_);
    // In place: the text moves up inside its own buffer, which grows by doubling. A new
    // buffer for every record would cost a fresh allocation of the whole log (10 MB of new
    // pages) each time, several times the move.
    text_.insert(0, record);
    ++version_;
    if (listener_)
        listener_(Change{version_, false, std::string(record)});
    if (held_)
        return LogWrite::Held;
    return file_->Replace(text_) ? LogWrite::Written : LogWrite::Failed;
}

void MessageLog::Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    text_.clear();
    // Releases the old text's memory too: a cleared 10 MB log should not keep 10 MB.
    text_.shrink_to_fit();
    if (file_->Remove())
        held_ = false;
    ++version_;
    if (listener_)
        listener_(Change{version_, true, {}});
}

std::string MessageLog::Text() const {
    std::lock_guard<std::mutex> hold(lock_);
    return text_;
}

MessageLog::Snapshot MessageLog::Take() const {
    std::lock_guard<std::mutex> hold(lock_);
    return Snapshot{text_, version_};
}

size_t MessageLog::Size() const {
    std::lock_guard<std::mutex> hold(lock_);
    return text_.size();
}

bool MessageLog::Held() const {
    std::lock_guard<std::mutex> hold(lock_);
    return held_;
}

void MessageLog::SetListener(std::function<void(const Change&)> listener) {
    std::lock_guard<std::mutex> hold(lock_);
    listener_ = std::move(listener);
}

} // namespace lv
