#include "messenger/msgsvc/ServiceFiles.h"

#include "framework/Files.h"

#include <windows.h>

namespace lv::messenger {

std::string ReadServiceIni() {
    return ReadWholeFile(ExecutableDirectory() + L"msgsvc.ini", 1u << 20).value_or(std::string());
}

void AppendLines(const std::wstring& path, const std::vector<std::string>& lines) {
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::string data;
    for (const std::string& line : lines)
        data += line + "\r\n";
    DWORD written = 0;
    WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace lv::messenger
