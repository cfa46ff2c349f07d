#pragma once
// FRIENDS.DAT, byte for byte:
//   "1 " count " " NUL  sender NUL  (name NUL address NUL) * count  "END"
// Reading and writing here work on bytes only; the main window does the file access.
#include "friends/FriendList.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

// What a read of the file got to, step by step, so that the caller can report each step.
// A value that is present was read; `damaged` says the file as a whole is not usable.
struct FriendFileRead {
    std::optional<int> version;
    std::optional<int> count;
    std::optional<std::string> sender;
    std::vector<Friend> friends;
    bool damaged = true;
};

FriendFileRead ReadFriendFile(std::string_view bytes);
// At most kMaxFriends entries are written; a longer vector is cut, not stored.
std::string WriteFriendFile(std::string_view sender, const std::vector<Friend>& friends);

} // namespace lv
