// lvlaunch: does what Lumivale.exe does at start for the Messenger service, alone, so the
// end-to-end tests can check the launcher without the whole application.
#include "messenger/ServiceLauncher.h"

int main() {
    if (HANDLE process = lv::messenger::StartMessengerServiceIfNeeded())
        CloseHandle(process);
    return 0;
}
