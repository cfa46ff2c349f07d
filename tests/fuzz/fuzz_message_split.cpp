#include "capture/MessageSplit.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Whatever text a pop-up holds, the split takes its parts from the text itself: the
// sender is the bytes from the fourth on, ending one blank before the first marker; the
// body is a tail of the text starting past its first line feed.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    lv::SplitMessage split = lv::SplitPopupText(text);

    size_t marker = text.find(lv::kSenderMarker);
    if (!split.sender.empty()) {
        if (marker == std::string_view::npos || text.substr(3, split.sender.size()) != split.sender ||
            3 + split.sender.size() + 1 != marker)
            abort();
    } else if (marker != std::string_view::npos && marker > 4) {
        abort();
    }

    if (size > 0 && split.body.size() >= size)
        abort();
    if (!text.ends_with(split.body))
        abort();
    size_t lineFeed = text.find('\n');
    size_t start = size - split.body.size();
    size_t bodyStart = lineFeed == std::string_view::npos ? 1 : lineFeed + 2;
    if (split.body.empty() ? bodyStart < size : start != bodyStart)
        abort();
    return 0;
}
