#include "messenger/msgsvc/LumivaleExit.h"

namespace lv::messenger {
namespace {

bool IsExitSwitch(const wchar_t* arg) {
    const wchar_t* expected = L"/exit";
    for (; *expected; ++arg, ++expected) {
        wchar_t c = *arg;
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != *expected)
            return false;
    }
    return *arg == L'\0';
}

} // namespace

std::optional<std::wstring> LumivaleExitRequest(int argc, wchar_t** argv,
                                                const std::wstring& selfDirectory) {
    if (argc < 2 || !IsExitSwitch(argv[1]))
        return std::nullopt;
    if (argc > 2 && argv[2][0] != L'\0')
        return std::wstring(argv[2]);
    return selfDirectory + L"Lumivale.exe";
}

int LumivaleExitCode(const std::vector<LumivaleEnd>& ends) {
    if (ends.empty())
        return kExitNoneRan;
    int code = kExitEndedOnRequest;
    for (LumivaleEnd end : ends) {
        if (end == LumivaleEnd::kRunning)
            return kExitNotEnded;
        if (end == LumivaleEnd::kOutright)
            code = kExitEndedOutright;
    }
    return code;
}

} // namespace lv::messenger
