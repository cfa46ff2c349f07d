#include "friends/FriendList.h"

namespace lv {

const Friend& FriendList::At(int index) const {
    static const Friend none;
    return index >= 0 && index < Count() ? friends_[static_cast<size_t>(index)] : none;
}

bool FriendList::Add(Friend entry) {
    if (Full())
        return false;
    friends_.push_back(std::move(entry));
    return true;
}

bool FriendList::Replace(int index, Friend entry) {
    if (index < 0 || index >= Count())
        return false;
    friends_[static_cast<size_t>(index)] = std::move(entry);
    return true;
}

bool FriendList::Remove(int index) {
    if (index < 0 || index >= Count())
        return false;
    friends_.erase(friends_.begin() + index);
    return true;
}

bool FriendList::Assign(std::vector<Friend> entries) {
    bool all = entries.size() <= static_cast<size_t>(kMaxFriends);
    if (!all)
        entries.resize(kMaxFriends);
    friends_ = std::move(entries);
    return all;
}

std::optional<int> FriendList::IndexOfName(std::string_view name) const {
    for (int i = 0; i < Count(); ++i)
        if (friends_[static_cast<size_t>(i)].name == name)
            return i;
    return std::nullopt;
}

std::string FriendList::NameByAddress(std::string_view address) const {
    for (const Friend& f : friends_)
        if (f.address == address)
            return f.name;
    return std::string(kUnknownFriend);
}

} // namespace lv
