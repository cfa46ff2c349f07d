#pragma once
// The settings file (an INI file of GBK bytes) opened for one batch of reads or writes.
// The file is read once when the object is made; every write goes straight back to disk,
// replacing the file atomically, and raises lv::Exception("Unable to write to <path>")
// when it cannot.
#include "framework/IniFile.h"

#include <string>
#include <string_view>

namespace lv {

class TIniFile {
  public:
    explicit TIniFile(std::wstring path);

    const std::wstring& FileName() const { return path_; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

  private:
    void Store();

    std::wstring path_;
    IniData data_;
};

} // namespace lv
