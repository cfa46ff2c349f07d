#include "framework/IniFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

namespace {

// What the writer is meant for: names and values it can put on one line and read back.
// A key may not hold "=" nor start with "[" or ";" (the line would read as a section or a
// comment); a section may not hold "]"; nothing may hold a line break or start or end
// with a blank (reading trims); a value in double quotes loses them on reading.
bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool OneLineTrimmed(const std::string& s) {
    return s.find_first_of("\r\n") == std::string::npos &&
           (s.empty() || (!Blank(s.front()) && !Blank(s.back())));
}

bool WritableKey(const std::string& k) {
    return !k.empty() && OneLineTrimmed(k) && k.find('=') == std::string::npos && k[0] != '[' &&
           k[0] != ';';
}

bool WritableSection(const std::string& s) {
    return OneLineTrimmed(s) && s.find(']') == std::string::npos;
}

bool WritableValue(const std::string& v) {
    return OneLineTrimmed(v) && !(v.size() >= 2 && v.front() == '"' && v.back() == '"');
}

bool SameAscii(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

// Input: section, key, value, second key (each a libFuzzer random-length string ended by
// "\" and one more byte), then the file's bytes; an integer to write comes off the end.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::string section = in.ConsumeRandomLengthString(64);
    std::string key = in.ConsumeRandomLengthString(64);
    std::string value = in.ConsumeRandomLengthString(256);
    std::string key2 = in.ConsumeRandomLengthString(64);
    int number = in.ConsumeIntegral<int>();
    std::string file = in.ConsumeRemainingBytesAsString();

    lv::IniData ini(file);
    // The readers agree with each other on whatever the file holds.
    std::optional<std::string> found = ini.Find(section, key);
    if (ini.ReadString(section, key, "\x01") != found.value_or("\x01"))
        abort();
    std::optional<int> parsed = found ? lv::ParseIniInteger(*found) : std::nullopt;
    if (ini.ReadInteger(section, key, -12345) != parsed.value_or(-12345))
        abort();
    if (ini.ReadBool(section, key, true) != (parsed.value_or(1) != 0))
        abort();
    // Bytes() with CR LF line ends is read as the same file.
    lv::IniData same(ini.Bytes());
    if (same.Find(section, key) != found || same.Bytes() != ini.Bytes())
        abort();

    if (!WritableSection(section) || !WritableKey(key) || !WritableValue(value))
        return 0;
    std::optional<std::string> otherBefore = ini.Find(section, key2);
    ini.WriteString(section, key, value);
    lv::IniData reread(ini.Bytes());
    if (reread.Find(section, key) != value)
        abort();
    if (!SameAscii(key, key2) && reread.Find(section, key2) != otherBefore)
        abort(); // a write touched another key of the section

    if (!WritableKey(key2) || SameAscii(key, key2))
        return 0;
    ini.WriteInteger(section, key2, number);
    lv::IniData again(ini.Bytes());
    if (again.ReadInteger(section, key2, number == 0 ? 1 : 0) != number ||
        again.Find(section, key) != value)
        abort();
    return 0;
}
