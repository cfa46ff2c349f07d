#pragma once
// Settings file contents as bytes, read the way GetPrivateProfileString reads a file
// (sections and keys compared without regard to ASCII case, values trimmed, the first
// occurrence wins) and written so that those functions read back exactly what was set.
// No file access here: the Win32 side loads and stores the bytes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

class IniData {
  public:
    IniData() = default;
    explicit IniData(std::string_view bytes);

    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    // Decimal or 0x hexadecimal, optional sign; anything else gives the default.
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    // Stored as an integer: 0 is false, any other number true, anything else the default.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // The whole file, lines ended by CR LF.
    std::string Bytes() const;

  private:
    std::vector<std::string> lines_;
};

// Integer text as the settings reader understands it; nullopt when it is not a number.
std::optional<int> ParseIniInteger(std::string_view text);

} // namespace lv
