#pragma once
// The installer's request to exit (messenger/ExitContract.h): before an update or uninstall
// replaces or removes the programs of this folder, it asks the running Lumivale to end, and
// Lumivale ends as a confirmed Exit does -- position saved, tray icon removed, what the
// workers posted run, a send under way waited for, the logs folded -- without asking, and
// whatever dialog, message box or menu is open.
#include "framework/MessageWindow.h"

#include <memory>

namespace lv {

class TfrmMain;

class TExitRequest {
  public:
    // Listens from now on, on the calling (main) thread. When the window cannot be made the
    // program does not listen; the installer then ends it outright, which loses no message.
    TExitRequest();

    // The main window, once it exists: a request ends the program through it, and one that
    // came while the windows were still being made does so now.
    void SetMainWindow(TfrmMain& main);

  private:
    void Exit();

    std::unique_ptr<MessageWindow> window_;
    TfrmMain* main_ = nullptr;
    bool requested_ = false;
};

} // namespace lv
