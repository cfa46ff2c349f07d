#include "friends/FriendFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Whatever FRIENDS.DAT holds, the reader ends with a defined outcome; a file it accepts
// is written back to the same bytes' meaning.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    lv::FriendFileRead read = lv::ReadFriendFile(bytes);
    if (read.friends.size() > lv::kMaxFriends)
        abort();
    if (!read.damaged) {
        lv::FriendFileRead again = lv::ReadFriendFile(lv::WriteFriendFile(*read.sender, read.friends));
        if (again.damaged || again.friends.size() != read.friends.size() ||
            *again.sender != *read.sender)
            abort();
        for (size_t i = 0; i < read.friends.size(); ++i)
            if (again.friends[i].name != read.friends[i].name ||
                again.friends[i].address != read.friends[i].address)
                abort();
    }
    return 0;
}
