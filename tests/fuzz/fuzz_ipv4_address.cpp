#include "framework/Ipv4.h"

#include <cstdlib>

namespace {

// A second, plain reading of "strict dotted quad": four dot-separated fields of one to
// three decimal digits, each at most 255.
std::optional<uint32_t> Reference(std::string_view text) {
    uint32_t result = 0;
    int fields = 0;
    size_t start = 0;
    for (;;) {
        size_t dot = text.find('.', start);
        std::string_view field =
            text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (field.empty() || field.size() > 3)
            return std::nullopt;
        unsigned value = 0;
        for (char c : field) {
            if (c < '0' || c > '9')
                return std::nullopt;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value > 255 || ++fields > 4)
            return std::nullopt;
        result = (result << 8) | value;
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    if (fields != 4)
        return std::nullopt;
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<uint32_t> parsed = lv::ParseIpv4(text);
    if (parsed != Reference(text))
        abort();
    if (parsed) {
        // The normalised form is four plain numbers that read back as the same address.
        std::string formatted = lv::FormatIpv4(*parsed);
        if (lv::ParseIpv4(formatted) != parsed)
            abort();
        for (size_t i = 0; i < formatted.size(); ++i)
            if (formatted[i] == '0' && (i == 0 || formatted[i - 1] == '.') &&
                i + 1 < formatted.size() && formatted[i + 1] != '.')
                abort(); // a leading zero survived normalisation
    }
    // Any four bytes as an address format and parse back to themselves.
    if (size >= 4) {
        uint32_t address = static_cast<uint32_t>(data[0]) << 24 | static_cast<uint32_t>(data[1]) << 16 |
                           static_cast<uint32_t>(data[2]) << 8 | data[3];
        if (lv::ParseIpv4(lv::FormatIpv4(address)) != address)
            abort();
    }
    return 0;
}
