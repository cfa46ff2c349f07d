#include "messenger/msgsvc/AddressList.h"

#include "framework/Ipv4.h"
#include "messenger/msgsvc/ServiceConfig.h"

namespace lv::messenger {

namespace {

std::string_view Trim(std::string_view text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos)
        return {};
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

std::string Join(const std::vector<AddressRange>& ranges) {
    std::string out;
    for (const AddressRange& r : ranges)
        out += (out.empty() ? "" : ", ") + FormatAddressRange(r);
    return out;
}

} // namespace

std::optional<AddressRange> ParseAddressRange(std::string_view entry) {
    size_t slash = entry.find('/');
    auto address = ParseIpv4(entry.substr(0, slash));
    if (!address)
        return std::nullopt;
    AddressRange range{*address, 32};
    if (slash != std::string_view::npos) {
        std::string_view digits = entry.substr(slash + 1);
        if (digits.empty() || digits.size() > 2)
            return std::nullopt;
        int prefix = 0;
        for (char c : digits) {
            if (c < '0' || c > '9')
                return std::nullopt;
            prefix = prefix * 10 + (c - '0');
        }
        if (prefix > 32)
            return std::nullopt;
        range.prefix = prefix;
    }
    if ((range.network & ~range.Mask()) != 0)
        return std::nullopt;
    return range;
}

std::string FormatAddressRange(const AddressRange& range) {
    std::string text = FormatIpv4(range.network);
    return range.prefix == 32 ? text : text + "/" + std::to_string(range.prefix);
}

bool AddressList::Contains(uint32_t address) const {
    for (const AddressRange& r : ranges)
        if (r.Contains(address))
            return true;
    return false;
}

AddressList ParseAddressList(std::string_view text) {
    AddressList list;
    while (true) {
        size_t comma = text.find(',');
        std::string_view entry = Trim(text.substr(0, comma));
        if (!entry.empty()) {
            if (auto range = ParseAddressRange(entry))
                list.ranges.push_back(*range);
            else
                list.malformed.emplace_back(entry);
        }
        if (comma == std::string_view::npos)
            return list;
        text.remove_prefix(comma + 1);
    }
}

Admission PeerAccess::Admit(uint32_t peer) const {
    if (deny.Contains(peer))
        return Admission::kDenied;
    if (allow.Named() && !allow.Contains(peer))
        return Admission::kNotAllowed;
    return Admission::kAdmitted;
}

std::vector<std::string> PeerAccess::Describe() const {
    std::vector<std::string> lines;
    for (const char* key : {"Deny", "Allow"}) {
        const AddressList& list = key[0] == 'D' ? deny : allow;
        for (const std::string& entry : list.malformed)
            lines.push_back(std::string(key) + ": \"" + entry +
                            "\" is not an IPv4 address or CIDR range, ignored");
    }
    if (!deny.ranges.empty())
        lines.push_back("connections refused from " + Join(deny.ranges));
    if (allow.Named())
        lines.push_back(allow.ranges.empty()
                            ? "Allow has no usable entry: every connection is refused"
                            : "connections admitted only from " + Join(allow.ranges));
    return lines;
}

} // namespace lv::messenger
