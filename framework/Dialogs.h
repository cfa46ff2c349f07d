#pragma once
// The file-open dialog. Like the message boxes, it can be answered by a test instead of a
// person.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lv {

struct OpenDialogRequest {
    HWND owner;
    std::string filter;   // GBK, as given to SetFilter
    std::string fileName; // GBK, the file the dialog starts at
};

class TOpenDialog {
  public:
    // Description and pattern pairs, separated by "|": "Wave File|*.wav|All|*.*".
    void SetFilter(std::string_view gbk) { filter_ = gbk; }
    const std::string& Filter() const { return filter_; }
    // The chosen file's full path (GBK); before Execute, the file the dialog starts at.
    const std::string& FileName() const { return fileName_; }
    void SetFileName(std::string_view gbk) { fileName_ = gbk; }

    // Shows the dialog; true when a file was chosen, false on Cancel (FileName unchanged).
    bool Execute(HWND owner);

  private:
    std::string filter_;
    std::string fileName_;
};

// The filter as GetOpenFileNameW takes it: UTF-16 strings each ended by a NUL, and one more
// NUL at the end.
std::wstring OpenDialogFilter(std::string_view gbk);

// Tests: every later dialog is handed to `answer`, which returns the chosen path (GBK) or
// nullopt for Cancel; an empty function brings the real dialog back.
void SetOpenDialogHandler(
    std::function<std::optional<std::string>(const OpenDialogRequest&)> answer);

} // namespace lv
