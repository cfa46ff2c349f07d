#include "framework/Dialogs.h"

#include "framework/LateLoad.h"

#include "framework/Gbk.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

namespace lv {
namespace {

std::function<std::optional<std::string>(const OpenDialogRequest&)>& Handler() {
    static std::function<std::optional<std::string>(const OpenDialogRequest&)> handler;
    return handler;
}

// Room for the longest path Windows has (32767 characters with "\\?\"), so a deep folder
// is never cut.
constexpr size_t kPathChars = 32768;

} // namespace

std::wstring OpenDialogFilter(std::string_view gbk) {
    // Split after converting: a GBK trail byte can be 0x7C, the "|" itself.
    std::wstring filter = ToWide(gbk);
    for (wchar_t& c : filter)
        if (c == L'|')
            c = L'\0';
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    return filter;
}

bool TOpenDialog::Execute(HWND owner) {
    if (Handler()) {
        std::optional<std::string> chosen = Handler()(OpenDialogRequest{owner, filter_, fileName_});
        if (!chosen)
            return false;
        fileName_ = *chosen;
        return true;
    }
    std::wstring filter = OpenDialogFilter(filter_);
    std::vector<wchar_t> file(kPathChars, L'\0');
    std::wstring start = ToWide(fileName_);
    if (start.size() < file.size())
        std::copy(start.begin(), start.end(), file.begin());

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter_.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    // OFN_NOCHANGEDIR: the program finds its files through its own directory, and a dialog
    // that moved the current directory would also hold that folder open.
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                OFN_NOCHANGEDIR;
    static auto* open = LateFunctionAs<BOOL WINAPI(OPENFILENAMEW*)>(L"comdlg32.dll", "GetOpenFileNameW");
    if (!open || !open(&ofn))
        return false;
    fileName_ = ToGbk(file.data());
    return true;
}

void SetOpenDialogHandler(
    std::function<std::optional<std::string>(const OpenDialogRequest&)> answer) {
    Handler() = std::move(answer);
}

} // namespace lv
