#pragma once
// Who may connect to msgsvc.exe: the Deny= and Allow= lists of msgsvc.ini, comma-separated
// IPv4 addresses ("192.168.1.23") and CIDR ranges ("10.0.0.0/8"). A user edits these by
// hand to shut out a pest, so a mistake in one entry must never open the service wider
// than the user meant: an entry that is not exactly one of the two forms is reported and
// ignored, and an Allow= whose every entry is unusable admits nobody, not everybody.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lv::messenger {

struct AddressRange {
    uint32_t network = 0; // host order, host bits zero
    int prefix = 32;      // 0..32

    uint32_t Mask() const { return prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix); }
    bool Contains(uint32_t address) const { return (address & Mask()) == network; }
};

// "a.b.c.d" (a /32) or "a.b.c.d/n", n 0..32 in one or two digits, the address a dotted
// quad as Address= takes it. A range with host bits set ("10.0.0.5/8") is refused: it is
// a typo for either the address or the network, and guessing could widen an Allow=.
std::optional<AddressRange> ParseAddressRange(std::string_view entry);
// "10.0.0.0/8"; a single address without the "/32".
std::string FormatAddressRange(const AddressRange& range);

struct AddressList {
    std::vector<AddressRange> ranges;
    std::vector<std::string> malformed; // entries as written (trimmed), for the log

    // The value named any entry at all, usable or not.
    bool Named() const { return !ranges.empty() || !malformed.empty(); }
    bool Contains(uint32_t address) const;
};

// Entries split at commas and trimmed of blanks and tabs; empty ones (a trailing comma)
// are skipped.
AddressList ParseAddressList(std::string_view text);

enum class Admission { kAdmitted, kDenied, kNotAllowed };

struct PeerAccess {
    AddressList allow, deny;

    // Deny wins over Allow, so one pest inside an allowed network can still be shut out.
    // An Allow= that named entries admits only what its usable entries cover: none usable,
    // nobody admitted.
    Admission Admit(uint32_t peer) const;
    // Log lines: each ignored entry, and what the lists then mean when they restrict.
    std::vector<std::string> Describe() const;
};

} // namespace lv::messenger
