#pragma once
// The friend list as the main window holds it: two parallel fixed arrays of kMaxFriends
// texts and the count in use, plus the user's own sender name. Friends are identified by
// their index, which is also their line in the friend list box.
#include "friends/FriendFile.h"

#include <array>
#include <string>
#include <string_view>

namespace lv {

struct FriendTable {
    int FriendCount = 0;
    std::array<std::string, kMaxFriends> FriendNames;
    std::array<std::string, kMaxFriends> FriendAddresses;
    std::string SenderName;
};

// The text answered when no friend has the address.
inline constexpr std::string_view kUnknownFriend = "出错了";

// The name of the first friend whose address is exactly `address` (bytes, case-sensitive).
inline std::string FindFriendName(const FriendTable& table, std::string_view address) {
    int count = table.FriendCount < 0
                    ? 0
                    : (table.FriendCount > kMaxFriends ? kMaxFriends : table.FriendCount);
    for (int i = 0; i < count; ++i)
        if (table.FriendAddresses[static_cast<size_t>(i)] == address)
            return table.FriendNames[static_cast<size_t>(i)];
    return std::string(kUnknownFriend);
}

} // namespace lv
