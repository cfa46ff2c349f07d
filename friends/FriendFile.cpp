#include "friends/FriendFile.h"

#include <cstdint>

namespace lv {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

class Cursor {
  public:
    explicit Cursor(std::string_view bytes) : bytes_(bytes) {}

    void SkipSpace() {
        while (pos_ < bytes_.size() && IsSpace(bytes_[pos_]))
            ++pos_;
    }

    // Optional sign and decimal digits after white space; nullopt when there are no digits
    // or the number does not fit 32 bits.
    std::optional<int> Integer() {
        SkipSpace();
        bool negative = false;
        if (pos_ < bytes_.size() && (bytes_[pos_] == '-' || bytes_[pos_] == '+'))
            negative = bytes_[pos_++] == '-';
        size_t start = pos_;
        int64_t value = 0;
        while (pos_ < bytes_.size() && bytes_[pos_] >= '0' && bytes_[pos_] <= '9') {
            value = value * 10 + (bytes_[pos_++] - '0');
            if (value > 0x80000000LL)
                return std::nullopt;
        }
        if (pos_ == start)
            return std::nullopt;
        value = negative ? -value : value;
        if (value > INT32_MAX || value < INT32_MIN)
            return std::nullopt;
        return static_cast<int>(value);
    }

    // Bytes up to the next NUL, which is consumed; or up to the end of the bytes.
    std::string Field() {
        size_t nul = bytes_.find('\0', pos_);
        size_t end = nul == std::string_view::npos ? bytes_.size() : nul;
        std::string field(bytes_.substr(pos_, end - pos_));
        pos_ = nul == std::string_view::npos ? bytes_.size() : nul + 1;
        return field;
    }

    std::string_view Word() {
        SkipSpace();
        size_t start = pos_;
        while (pos_ < bytes_.size() && !IsSpace(bytes_[pos_]))
            ++pos_;
        return bytes_.substr(start, pos_ - start);
    }

  private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

} // namespace

FriendFileRead ReadFriendFile(std::string_view bytes) {
    FriendFileRead read;
    Cursor in(bytes);
    read.version = in.Integer();
    if (!read.version)
        return read;
    read.count = in.Integer();
    if (!read.count)
        return read;
    // A count the list cannot hold can only come from a damaged file.
    if (*read.count < 0 || *read.count > kMaxFriends)
        return read;
    in.Field(); // the blank after the count, and anything else up to the header's NUL
    read.sender = in.Field();
    read.friends.reserve(static_cast<size_t>(*read.count));
    for (int i = 0; i < *read.count; ++i) {
        Friend f;
        f.name = in.Field();
        f.address = in.Field();
        read.friends.push_back(std::move(f));
    }
    read.damaged = in.Word() != "END";
    return read;
}

std::string WriteFriendFile(std::string_view sender, const std::vector<Friend>& friends) {
    size_t count = friends.size() < kMaxFriends ? friends.size() : kMaxFriends;
    std::string out = "1 " + std::to_string(count) + " ";
    out += '\0';
    out += sender;
    out += '\0';
    for (size_t i = 0; i < count; ++i) {
        out += friends[i].name;
        out += '\0';
        out += friends[i].address;
        out += '\0';
    }
    out += "END";
    return out;
}

} // namespace lv
