#include "framework/Registry.h"

#include "framework/Gbk.h"

namespace lv {

TRegistry::~TRegistry() {
    CloseKey();
}

bool TRegistry::OpenKey(HKEY root, std::string_view path, REGSAM access, bool create) {
    CloseKey();
    // The path is converted whole: a GBK trail byte can be 0x5C, the backslash.
    std::wstring wide = ToWide(path);
    LONG result = create ? RegCreateKeyExW(root, wide.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           access, nullptr, &key_, nullptr)
                         : RegOpenKeyExW(root, wide.c_str(), 0, access, &key_);
    if (result != ERROR_SUCCESS) {
        key_ = nullptr;
        return false;
    }
    return true;
}

void TRegistry::CloseKey() {
    if (key_)
        RegCloseKey(key_);
    key_ = nullptr;
}

std::optional<std::wstring> TRegistry::ReadWideString(std::string_view name) const {
    if (!key_)
        return std::nullopt;
    std::wstring wideName = ToWide(name);
    // Ask for the size first; the value may grow between the two calls, so ask again then.
    for (;;) {
        DWORD type = 0, bytes = 0;
        if (RegQueryValueExW(key_, wideName.c_str(), nullptr, &type, nullptr, &bytes) !=
                ERROR_SUCCESS ||
            type != REG_SZ)
            return std::nullopt;
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        LONG result = RegQueryValueExW(key_, wideName.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(text.data()), &got);
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            return std::nullopt;
        // The stored bytes need not end with a NUL; cut at the first one if they do.
        text.resize(got / sizeof(wchar_t));
        size_t end = text.find(L'\0');
        if (end != std::wstring::npos)
            text.resize(end);
        return text;
    }
}

std::optional<std::string> TRegistry::ReadString(std::string_view name) const {
    std::optional<std::wstring> text = ReadWideString(name);
    if (!text)
        return std::nullopt;
    return ToGbk(*text);
}

bool TRegistry::WriteString(std::string_view name, std::string_view value) {
    return WriteWideString(name, ToWide(value));
}

bool TRegistry::WriteWideString(std::string_view name, std::wstring_view value) {
    if (!key_)
        return false;
    std::wstring wide(value);
    return RegSetValueExW(key_, ToWide(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool TRegistry::DeleteValue(std::string_view name) {
    return key_ && RegDeleteValueW(key_, ToWide(name).c_str()) == ERROR_SUCCESS;
}

bool TRegistry::ValueExists(std::string_view name) const {
    return key_ && RegQueryValueExW(key_, ToWide(name).c_str(), nullptr, nullptr, nullptr,
                                    nullptr) == ERROR_SUCCESS;
}

} // namespace lv
