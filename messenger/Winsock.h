#pragma once
// Winsock for the whole process, started on first use and never stopped: the sender's
// workers and msgsvc's network thread use sockets until the process ends, and a
// WSACleanup while another thread still held one would break it.

namespace lv::messenger {

// Any thread. True once WSAStartup has succeeded (it is tried only once).
bool WinsockReady();

} // namespace lv::messenger
