#include "messenger/Winsock.h"

#include <winsock2.h>

namespace lv::messenger {

bool WinsockReady() {
    // A function-local static is initialised once, and other threads wait for it.
    static const bool ready = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

} // namespace lv::messenger
