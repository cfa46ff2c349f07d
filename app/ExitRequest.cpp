#include "app/ExitRequest.h"

#include "app/Main.h"
#include "framework/Application.h"
#include "framework/Exception.h"
#include "messenger/ExitContract.h"

namespace lv {

TExitRequest::TExitRequest() {
    try {
        auto window =
            std::make_unique<MessageWindow>(MessageWindow::Kind::kMessageOnly, kExitRequestClass);
        UINT request = window->OnRegistered(kExitRequestMessage, [this](WPARAM, LPARAM) {
            Exit();
            return LRESULT{0};
        });
        // A Lumivale run as administrator (to remove an old machine-wide start entry) still
        // hears the installer, which runs as the user: Windows drops a registered message
        // from a lower integrity level unless the window lets it through.
        ChangeWindowMessageFilterEx(window->Handle(), request, MSGFLT_ALLOW, nullptr);
        window_ = std::move(window);
    } catch (const Exception&) {
        // Not listening: the installer then ends this copy outright.
    }
}

void TExitRequest::SetMainWindow(TfrmMain& main) {
    main_ = &main;
    if (requested_)
        Exit();
}

void TExitRequest::Exit() {
    requested_ = true;
    // A menu's loop of its own (the tray icon's or the main menu) does not end on the quit
    // message; every dialog's and message box's loop does, and hands it on outwards.
    EndMenu();
    if (!main_) {
        // Still starting: a box of the start-up ends now, the rest is made, and the loop is
        // never entered.
        App().Terminate();
        return;
    }
    if (main_->ExitRequested && App().Terminated())
        return;
    main_->ExitRequested = true;
    main_->Close();
}

} // namespace lv
