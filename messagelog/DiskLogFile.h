#pragma once
// A log's files on disk: the log itself (send.txt, receive.txt) and its journal beside it
// (send.txt.journal, receive.txt.journal), which holds the records not yet folded into
// the log.
#include "messagelog/MessageLog.h"

#include <string>

namespace lv {

class DiskLogFile : public LogFile {
  public:
    explicit DiskLogFile(std::wstring path);
    bool Replace(const std::vector<std::string_view>& pieces) override;
    bool Remove() override;
    bool AppendJournal(std::string_view bytes) override;
    std::optional<std::string> ReadJournal() override;
    bool ResetJournal(std::string_view bytes) override;

  private:
    std::wstring path_;
    std::wstring journal_;
};

} // namespace lv
