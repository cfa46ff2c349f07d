#include "messagelog/DiskLogFile.h"

#include "framework/Files.h"

#include <limits>

namespace lv {

DiskLogFile::DiskLogFile(std::wstring path)
    : path_(std::move(path)), journal_(path_ + L".journal") {}

bool DiskLogFile::Replace(const std::vector<std::string_view>& pieces) {
    return WriteFileAtomic(path_, pieces);
}

bool DiskLogFile::Remove() {
    return DeleteFileIfPresent(path_);
}

bool DiskLogFile::AppendJournal(std::string_view bytes) {
    return AppendFileFlushed(journal_, bytes);
}

std::optional<std::string> DiskLogFile::ReadJournal() {
    FileRead read = ReadFileBounded(journal_, std::numeric_limits<size_t>::max() - 1);
    switch (read.status) {
    case ReadStatus::Ok:
        return std::move(read.bytes);
    case ReadStatus::Missing:
        return std::string();
    default:
        return std::nullopt;
    }
}

bool DiskLogFile::ResetJournal(std::string_view bytes) {
    if (bytes.empty())
        return DeleteFileIfPresent(journal_);
    return WriteFileAtomic(journal_, bytes);
}

} // namespace lv
