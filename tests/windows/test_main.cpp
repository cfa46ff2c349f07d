// The Windows test program: the framework is set up once, as the program's entry point
// does, and no real message box or file dialog may ever wait for a person.
#include "TestSupport.h"

#include "framework/Dialogs.h"
#include "desktop/Trayicon.h"

namespace lvtest {

void InstallUnexpectedBoxHandler() {
    lv::SetMessageBoxHandler([](const lv::MessageBoxRequest& request) {
        ADD_FAILURE() << "unexpected message box: " << request.caption << ": " << request.text;
        return (request.type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
    });
}

void InstallUnexpectedOpenDialogHandler() {
    lv::SetOpenDialogHandler([](const lv::OpenDialogRequest& request) -> std::optional<std::string> {
        ADD_FAILURE() << "unexpected file dialog: " << request.filter;
        return std::nullopt;
    });
}

void InstallAcceptingShell() {
    lv::SetShellNotifyHandler([](DWORD, const NOTIFYICONDATAW&) { return TRUE; });
}

} // namespace lvtest

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    lv::App().Initialize();
    lv::App().SetTitle("Lumivale");
    lvtest::InstallUnexpectedBoxHandler();
    lvtest::InstallUnexpectedOpenDialogHandler();
    // Xvfb has no notification area, and whether Wine accepts an icon without one is not
    // the tests' business: every main window gets a shell that takes its icon.
    lvtest::InstallAcceptingShell();
    return RUN_ALL_TESTS();
}
