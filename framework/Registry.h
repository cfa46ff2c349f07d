#pragma once
// One open registry key, closed when the object goes or another key is opened. Names,
// paths and string values are GBK; the W functions are called underneath.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace lv {

class TRegistry {
  public:
    TRegistry() = default;
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;
    ~TRegistry();

    // Opens `path` under `root` with `access`; with `create`, makes the key (and the keys
    // above it) when it is missing, otherwise leaves the registry as it is. Any key open
    // before is closed first. False when the key cannot be opened.
    bool OpenKey(HKEY root, std::string_view path, REGSAM access, bool create);
    void CloseKey();
    bool IsOpen() const { return key_ != nullptr; }
    HKEY Handle() const { return key_; }

    // A REG_SZ value of the open key; nullopt when it is missing or of another type.
    std::optional<std::string> ReadString(std::string_view name) const;
    bool WriteString(std::string_view name, std::string_view value);
    // The same as UTF-16, for values that hold a path (a path need not fit in GBK).
    std::optional<std::wstring> ReadWideString(std::string_view name) const;
    bool WriteWideString(std::string_view name, std::wstring_view value);
    bool DeleteValue(std::string_view name);
    bool ValueExists(std::string_view name) const;

  private:
    HKEY key_ = nullptr;
};

} // namespace lv
