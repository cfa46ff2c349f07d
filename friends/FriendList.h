#pragma once
// The friend list in memory: at most kMaxFriends entries of display name and address, in
// the order they were added, plus the user's own sender name. A friend is identified by
// its index, which is also its line in the main window's list. Names and addresses are GBK
// bytes compared exactly. No window code here: the main window only displays the list.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

constexpr int kMaxFriends = 500;

// The text answered when no friend has the address.
inline constexpr std::string_view kUnknownFriend = "出错了";

struct Friend {
    std::string name;
    std::string address;
    bool operator==(const Friend&) const = default;
};

class FriendList {
  public:
    int Count() const { return static_cast<int>(friends_.size()); }
    bool Full() const { return Count() >= kMaxFriends; }
    const std::vector<Friend>& Entries() const { return friends_; }
    // Entry `index`; an index outside the list gives an empty entry.
    const Friend& At(int index) const;

    // Appends; false (and nothing changes) when the list is full.
    bool Add(Friend entry);
    // False when there is no entry `index`.
    bool Replace(int index, Friend entry);
    // Closes the gap: every later entry moves one place down.
    bool Remove(int index);
    // Replaces the whole list; entries past kMaxFriends are left out. False when some were.
    bool Assign(std::vector<Friend> entries);
    void Clear() { friends_.clear(); }

    // The lowest index with exactly this name.
    std::optional<int> IndexOfName(std::string_view name) const;
    // The name of the first friend whose address is exactly `address`, or kUnknownFriend.
    std::string NameByAddress(std::string_view address) const;

    const std::string& SenderName() const { return sender_; }
    void SetSenderName(std::string name) { sender_ = std::move(name); }

  private:
    std::vector<Friend> friends_;
    std::string sender_;
};

} // namespace lv
