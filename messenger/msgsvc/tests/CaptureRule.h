#pragma once
// What Lumivale's capture makes of a pop-up text: its own split (capture/MessageSplit), so
// the service's tests check the service against the very rule the capture applies.
#include "capture/MessageSplit.h"

#include <string>

namespace msgsvc_test {

using Captured = lv::SplitMessage;

inline Captured Capture(const std::string& text) {
    return lv::SplitPopupText(text);
}

} // namespace msgsvc_test
