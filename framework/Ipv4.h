#pragma once
// The one reading of an IPv4 address text, for every place that takes one: the friend
// addresses the sender and the presence query use, and msgsvc.ini's Address, Allow and
// Deny.
//
// The rule: four fields separated by dots, each one to three decimal digits with a value
// of at most 255, and nothing else (no spaces, no sign, no trailing dot). A leading zero is
// still decimal: "192.168.001.010" is 192.168.1.10. The forms that the socket library's
// inet_addr also takes are not addresses here: octal ("010" as 8), hexadecimal ("0x0a"),
// and the short forms ("10.1" as 10.0.0.1). A text that is not an address is a computer
// name or a mistake, and the caller says which.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lv {

// The address as a number, first field in the high byte (192.168.0.5 is 0xC0A80005).
std::optional<uint32_t> ParseIpv4(std::string_view text);

// Four plain decimal numbers with dots, without leading zeros.
std::string FormatIpv4(uint32_t address);

// True for a text made only of digits and dots: never a computer name, so one that is not
// an address by the rule above must not be given to a name lookup, which would read it
// the inet_addr way.
bool LooksNumeric(std::string_view text);

} // namespace lv
