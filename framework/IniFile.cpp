#include "framework/IniFile.h"

#include <cstdint>

namespace lv {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// "[name]" (anything after the closing bracket ignored) gives name.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    size_t close = line.find(']');
    if (close == std::string_view::npos)
        return Trim(line.substr(1));
    return Trim(line.substr(1, close - 1));
}

struct KeyValue {
    std::string_view key, value;
};

std::optional<KeyValue> SplitKey(std::string_view line) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    std::string_view key = Trim(line.substr(0, eq));
    if (key.empty() || key.front() == ';')
        return std::nullopt;
    std::string_view value = Trim(line.substr(eq + 1));
    // The profile functions drop one pair of surrounding double quotes.
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return KeyValue{key, value};
}

} // namespace

IniData::IniData(std::string_view bytes) {
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines_.emplace_back(line);
        start = end + 1;
    }
}

std::optional<std::string> IniData::Find(std::string_view section, std::string_view key) const {
    bool inSection = false;
    bool seenSection = false;
    for (const std::string& line : lines_) {
        if (auto name = SectionName(line)) {
            // Only the first section of that name counts, as for the profile functions.
            if (inSection)
                return std::nullopt;
            inSection = !seenSection && SameName(*name, section);
            seenSection = seenSection || inSection;
            continue;
        }
        if (!inSection)
            continue;
        if (auto kv = SplitKey(line); kv && SameName(kv->key, key))
            return std::string(kv->value);
    }
    return std::nullopt;
}

std::string IniData::ReadString(std::string_view section, std::string_view key,
                                std::string_view def) const {
    if (auto v = Find(section, key))
        return *v;
    return std::string(def);
}

std::optional<int> ParseIniInteger(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && Lower(c) >= 'a' && Lower(c) <= 'f')
            digit = Lower(c) - 'a' + 10;
        else
            return std::nullopt;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    // Hexadecimal may spell the full 32 bits (0xFFFFFFFF is -1); decimal must fit an int.
    if (base == 10 && value > (negative ? 0x80000000ull : 0x7FFFFFFFull))
        return std::nullopt;
    auto bits = static_cast<uint32_t>(value);
    if (negative)
        bits = 0u - bits;
    return static_cast<int>(bits);
}

int IniData::ReadInteger(std::string_view section, std::string_view key, int def) const {
    auto text = Find(section, key);
    if (!text)
        return def;
    return ParseIniInteger(*text).value_or(def);
}

bool IniData::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void IniData::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::string entry = std::string(key) + "=" + std::string(value);
    bool inSection = false;
    size_t insertAt = 0;
    bool found = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (auto name = SectionName(lines_[i])) {
            if (inSection)
                break;
            if (!found && SameName(*name, section)) {
                inSection = found = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (auto kv = SplitKey(lines_[i]); kv && SameName(kv->key, key)) {
            lines_[i] = entry;
            return;
        }
        if (!Trim(lines_[i]).empty())
            insertAt = i + 1;
    }
    if (found) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
        return;
    }
    while (!lines_.empty() && Trim(lines_.back()).empty())
        lines_.pop_back();
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(entry);
}

void IniData::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void IniData::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::string IniData::Bytes() const {
    std::string out;
    for (const std::string& line : lines_) {
        out += line;
        out += "\r\n";
    }
    return out;
}

} // namespace lv
