#include "framework/SettingsFile.h"

#include "framework/Exception.h"
#include "framework/Files.h"
#include "framework/Gbk.h"

namespace lv {

TIniFile::TIniFile(std::wstring path) : path_(std::move(path)) {
    // A missing or unreadable file reads as empty: every value is then its default.
    if (auto bytes = ReadWholeFile(path_))
        data_ = IniData(*bytes);
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const {
    return data_.ReadString(section, key, def);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
    return data_.ReadInteger(section, key, def);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return data_.ReadBool(section, key, def);
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    data_.WriteString(section, key, value);
    Store();
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    data_.WriteInteger(section, key, value);
    Store();
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    data_.WriteBool(section, key, value);
    Store();
}

void TIniFile::Store() {
    if (!WriteFileAtomic(path_, data_.Bytes()))
        throw Exception("Unable to write to " + ToGbk(path_));
}

} // namespace lv
