// lvlaunch: does what Lumivale.exe does at start for the Messenger service, alone, so the
// end-to-end tests can check the launcher without the whole application.
#include "messenger/ServiceLauncher.h"

int main() {
    lv::messenger::StartMessengerServiceIfNeeded();
    return 0;
}
