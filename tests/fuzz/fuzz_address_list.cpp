#include "messenger/msgsvc/AddressList.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lv::messenger;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    AddressList list = ParseAddressList(text);
    // Every entry that is not blank comes out as a range or as malformed, never vanishes.
    size_t entries = 0;
    for (size_t start = 0, comma = 0; comma != std::string_view::npos; start = comma + 1) {
        comma = text.find(',', start);
        entries += text.substr(start, comma - start).find_first_not_of(" \t") != text.npos;
    }
    if (list.ranges.size() + list.malformed.size() != entries)
        abort();
    for (const AddressRange& r : list.ranges) {
        auto again = ParseAddressRange(FormatAddressRange(r));
        if ((r.network & ~r.Mask()) != 0 || !again || again->network != r.network ||
            again->prefix != r.prefix)
            abort();
    }
    // As Allow=: an address is admitted only when a usable entry covers it.
    PeerAccess access{list, {}};
    for (size_t i = 0; i + 4 <= size; i += 4) {
        uint32_t peer = uint32_t{data[i]} << 24 | uint32_t{data[i + 1]} << 16 |
                        uint32_t{data[i + 2]} << 8 | data[i + 3];
        if ((access.Admit(peer) == Admission::kAdmitted) != (!list.Named() || list.Contains(peer)))
            abort();
    }
    return 0;
}
