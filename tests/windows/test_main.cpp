// The Windows test program: the framework is set up once, as the program's entry point
// does, and no real message box or file dialog may ever wait for a person.
#include "TestSupport.h"

#include "framework/Dialogs.h"

namespace lvtest {

void InstallUnexpectedBoxHandler() {
    lv::SetMessageBoxHandler([](const lv::MessageBoxRequest& request) {
        ADD_FAILURE() << "unexpected message box: " << request.caption;
        return (request.type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
    });
}

void InstallUnexpectedOpenDialogHandler() {
    lv::SetOpenDialogHandler([](const lv::OpenDialogRequest& request) -> std::optional<std::string> {
        ADD_FAILURE() << "unexpected file dialog: " << request.filter;
        return std::nullopt;
    });
}

} // namespace lvtest

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    lv::App().Initialize();
    lv::App().SetTitle("Lumivale");
    lvtest::InstallUnexpectedBoxHandler();
    lvtest::InstallUnexpectedOpenDialogHandler();
    return RUN_ALL_TESTS();
}
