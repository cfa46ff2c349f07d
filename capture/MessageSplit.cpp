#include "capture/MessageSplit.h"

namespace lv {
namespace {

// The header's lead-in before the sender: a two-byte word and a blank.
constexpr size_t kLeadIn = 3;

} // namespace

SplitMessage SplitPopupText(std::string_view gbk) {
    SplitMessage out;

    // The sender ends one blank before the marker; a marker starting inside the lead-in
    // or right after it leaves no room for a name.
    size_t marker = gbk.find(kSenderMarker);
    if (marker != std::string_view::npos && marker > kLeadIn + 1)
        out.sender = gbk.substr(kLeadIn, marker - 1 - kLeadIn);

    // The byte right after the header's line feed is not part of the body.
    size_t lineFeed = gbk.find('\n');
    size_t bodyStart = lineFeed == std::string_view::npos ? 1 : lineFeed + 2;
    if (bodyStart < gbk.size())
        out.body = gbk.substr(bodyStart);
    return out;
}

} // namespace lv
