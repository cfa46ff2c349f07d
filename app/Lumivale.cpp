// Lumivale.exe: one copy per session, nine windows for the life of the program, and the
// main window's message loop until a confirmed Exit.
#include "app/ExitRequest.h"
#include "app/Main.h"
#include "app/ServiceWatch.h"
#include "capture/Capture.h"
#include "capture/Receive.h"
#include "info/Help.h"
#include "info/History.h"
#include "framework/Application.h"
#include "framework/Exception.h"
#include "framework/Files.h"
#include "framework/Gbk.h"
#include "framework/MessageBox.h"
#include "friends/FriendEditor.h"
#include "settings/Set.h"
#include "settings/SettingsStore.h"
#include "messenger/ServiceLauncher.h"
#include "send/Send.h"
#include "send/TempSend.h"

#include <windows.h>

#include <memory>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    lv::Application& app = lv::App();
    app.Initialize();

    // Owned for the rest of the process and never closed: the system removes the mutex
    // when the process ends, which is what marks this copy as gone.
    const std::wstring mutexName = lv::ToWide("Lumivale By Kestro");
    CreateMutexW(nullptr, TRUE, mutexName.c_str());
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        lv::ShowMessageBox(app.Handle(), "Lumivale已经运行，请点击系统托盘图标显示窗口。",
                           "Lumivale", MB_OK);
        return 0;
    }
    HANDLE service = lv::messenger::StartMessengerServiceIfNeeded();

    try {
        // From here on the installer can ask this copy to exit before an update or
        // uninstall (gone before the error box below: it would act on destroyed windows).
        lv::TExitRequest exitRequest;
        bool startHide = lv::SettingsStore().Load({}).StartHide;
        app.SetTitle("Lumivale");

        auto frmMain = std::make_unique<lv::TfrmMain>();
        auto frmFriend = std::make_unique<lv::TfrmFriend>(*frmMain);
        auto frmSend = std::make_unique<lv::TfrmSend>(*frmMain);
        auto frmTempSend = std::make_unique<lv::TfrmTempSend>(*frmSend);
        auto frmSet = std::make_unique<lv::TfrmSet>(*frmMain);
        auto frmAbout = std::make_unique<lv::TfrmAbout>(frmMain->VersionText);
        auto frmHelp = std::make_unique<lv::TfrmHelp>();
        auto frmReceive = std::make_unique<lv::TfrmReceive>(*frmMain);
        auto frmHistory = std::make_unique<lv::TfrmHistory>(*frmMain);
        // The history viewer, made last, owns the send log that the send workers write.
        frmSend->SetSendLog(frmHistory->SendLog());
        auto capture =
            std::make_unique<lv::TMessageCapture>(*frmMain, *frmReceive, frmHistory->ReceiveLog());
        frmMain->SetWindows({frmFriend.get(), frmSend.get(), frmTempSend.get(), frmSet.get(),
                             frmAbout.get(), frmHelp.get(), frmReceive.get(), frmHistory.get(),
                             capture.get()});
        // From now on msgsvc.exe's notice of a pop-up brings the capture at once. The
        // notices and the watch below only hasten or explain the capture: neither may end a
        // start-up while msgsvc.exe's pop-ups wait for it, so a failure of theirs is left to
        // the 100 ms look.
        try {
            capture->ListenForNotices();
        } catch (const lv::Exception&) {
        }
        // Whether messages can arrive is found out on a worker: the probes and the wait for
        // a starting msgsvc.exe never hold up the first window.
        lv::TOwnedThread<lv::TServiceWatch> serviceWatch(*frmMain, service);
        service = nullptr;
        try {
            serviceWatch->Start();
        } catch (const lv::Exception&) {
        }
        exitRequest.SetMainWindow(*frmMain);

        // A file held by a scanner is waited for with the windows alive; after the loop (and
        // before it, while the windows are made) the waits sleep.
        lv::SetMainThreadFileWait([&app](unsigned milliseconds) {
            if (app.Terminated())
                Sleep(milliseconds);
            else
                app.WaitUntil([] { return false; }, milliseconds);
        });
        app.Run(*frmMain, !startHide);
        lv::SetMainThreadFileWait({});
        // Before any window goes: what the workers posted runs, the workers stop (a send
        // under way is waited for until its own deadline, so its record is kept).
        app.Shutdown();
        // Every record into its file; what a very slow disk leaves waits in the journals.
        frmHistory->SendLog()->Finish(10000);
        frmHistory->ReceiveLog()->Finish(10000);
    } catch (...) {
        app.HandleException(std::current_exception());
    }
    return 0;
}
