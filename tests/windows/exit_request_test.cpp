// The installer's exit request inside the program: one that comes while the windows are
// still being made ends the program as soon as the main window exists, without showing
// it; one that comes while a menu is open closes the menu too (the menu's loop does not
// end on the quit message). Boxes and dialogs: tests/e2e/test_exit_request.sh.
#include "TestSupport.h"

#include "app/ExitRequest.h"
#include "app/Main.h"
#include "messenger/ExitContract.h"
#include "settings/SettingsStore.h"

#include <atomic>
#include <memory>
#include <thread>

namespace {

using lvtest::DataFolder;
using lvtest::PumpUntil;

// This process's request window (a test run may share the desktop with a Lumivale).
HWND OwnRequestWindow() {
    for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, lv::kExitRequestClass, nullptr));) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == GetCurrentProcessId())
            return w;
    }
    return nullptr;
}

bool PostRequest() {
    HWND window = OwnRequestWindow();
    return window && PostMessageW(window, RegisterWindowMessageW(lv::kExitRequestMessage), 0, 0);
}

class ExitRequest : public testing::Test {
  protected:
    void SetUp() override { lv::App().SetAnimateWindows(false); }
    void TearDown() override {
        lv::App().ProcessMessages();
        lv::App().ResetTerminated();
    }
    bool PositionStored() const {
        return lv::SettingsStore((dir / L"Lumivale.ini").wstring()).Load({"", -1, -1}).X != -1;
    }

    DataFolder dir;
};

TEST_F(ExitRequest, OneDuringStartUpEndsTheProgramOnceTheMainWindowExists) {
    lv::TExitRequest request;
    ASSERT_TRUE(PostRequest());
    ASSERT_TRUE(PumpUntil([] { return lv::App().Terminated(); }, 5000))
        << "a box of the start-up would stay open";
    auto main = std::make_unique<lv::TfrmMain>();
    EXPECT_FALSE(main->ExitRequested);
    request.SetMainWindow(*main);
    EXPECT_TRUE(main->ExitRequested);
    EXPECT_TRUE(PositionStored()) << "ended without what a confirmed Exit writes";
    EXPECT_FALSE(main->TrayIcon.Visible());
    lv::App().Run(*main, true);
    EXPECT_FALSE(main->Visible()) << "the main window was shown on the way out";
}

TEST_F(ExitRequest, OneWhileTheMainMenuIsOpenClosesItAndEnds) {
    auto main = std::make_unique<lv::TfrmMain>();
    lv::TExitRequest request;
    request.SetMainWindow(*main);
    main->Show();
    PumpUntil([] { return false; }, 100);
    ASSERT_TRUE(PostRequest());
    // Should the menu stay open, the test still ends: the menu is cancelled after 10 s.
    std::atomic<bool> menuReturned{false}, cancelled{false};
    HWND owner = main->Handle();
    std::thread watchdog([&] {
        for (int i = 0; i < 1000 && !menuReturned; ++i)
            Sleep(10);
        if (!menuReturned) {
            cancelled = true;
            PostMessageW(owner, WM_CANCELMODE, 0, 0);
            PostMessageW(owner, WM_KEYDOWN, VK_ESCAPE, 0);
        }
    });
    main->btMainMenuClick(); // TrackPopupMenu's loop serves the request
    menuReturned = true;
    watchdog.join();
    EXPECT_FALSE(cancelled) << "the menu stayed open after the request";
    EXPECT_TRUE(main->ExitRequested);
    EXPECT_TRUE(lv::App().Terminated());
    EXPECT_TRUE(PositionStored());
}

} // namespace
