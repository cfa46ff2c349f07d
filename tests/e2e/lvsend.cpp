// lvsend TO FROM TEXT: sends one message with our NetMessageBufferSend (port from msgsvc.ini
// beside this program) and prints the status number; the exit code is 0 only on success.
// TEXT arrives as UTF-16 through wmain and goes out as Lumivale's send worker passes it.
#include "messenger/NetMessage.h"

#include <cstdio>
#include <cwchar>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fputs("usage: lvsend TO FROM TEXT\n", stderr);
        return 2;
    }
    std::vector<wchar_t> text(argv[3], argv[3] + std::wcslen(argv[3]) + 1);
    unsigned long status = NetMessageBufferSend(
        nullptr, argv[1], argv[2], reinterpret_cast<unsigned char*>(text.data()),
        static_cast<unsigned long>(text.size() * sizeof(wchar_t)));
    std::printf("%lu\n", status);
    return status == 0 ? 0 : 1;
}
