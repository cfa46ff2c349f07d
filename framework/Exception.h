#pragma once
// The error the framework's own layers raise (file writes, mostly). The message is GBK
// text; whatever escapes a handler ends in the application's error box with it.
#include <stdexcept>
#include <string>

namespace lv {

class Exception : public std::runtime_error {
  public:
    explicit Exception(const std::string& gbkMessage) : std::runtime_error(gbkMessage) {}
};

} // namespace lv
