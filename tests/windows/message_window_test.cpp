// The framework's message window: handlers by message number and by registered name,
// DefWindowProc for the rest, the hidden top-level kind reached by broadcasts, and no
// delivery once the object is gone.
#include "framework/MessageWindow.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using lv::MessageWindow;

// Runs the thread's queue until `done` holds or two seconds pass.
template <class Done>
bool PumpUntil(Done done) {
    ULONGLONG deadline = GetTickCount64() + 2000;
    while (!done() && GetTickCount64() < deadline) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (!done())
            Sleep(1);
    }
    return done();
}

void Pump(DWORD ms) {
    ULONGLONG until = GetTickCount64() + ms;
    PumpUntil([&] { return GetTickCount64() >= until; });
}

std::wstring UniqueName(const wchar_t* what) {
    return L"LumivaleTest " + std::wstring(what) + L" " + std::to_wstring(GetCurrentProcessId());
}

TEST(MessageWindow, HandlersGetPostedAndSentMessagesAndTheRestGoesToDefWindowProc) {
    MessageWindow window;
    ASSERT_TRUE(IsWindow(window.Handle()));
    int calls = 0;
    WPARAM gotW = 0;
    LPARAM gotL = 0;
    window.On(WM_APP + 7, [&](WPARAM w, LPARAM l) {
        ++calls;
        gotW = w;
        gotL = l;
        return LRESULT{42};
    });

    ASSERT_TRUE(PostMessageW(window.Handle(), WM_APP + 7, 5, 6));
    EXPECT_TRUE(PumpUntil([&] { return calls == 1; }));
    EXPECT_EQ(gotW, 5u);
    EXPECT_EQ(gotL, 6);
    EXPECT_EQ(SendMessageW(window.Handle(), WM_APP + 7, 0, 0), 42);
    EXPECT_EQ(calls, 2);

    // No handler: DefWindowProc keeps and reports the window text.
    SendMessageW(window.Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"abc"));
    EXPECT_EQ(SendMessageW(window.Handle(), WM_GETTEXTLENGTH, 0, 0), 3);
    // A later handler replaces the earlier one.
    window.On(WM_GETTEXTLENGTH, [](WPARAM, LPARAM) { return LRESULT{77}; });
    EXPECT_EQ(SendMessageW(window.Handle(), WM_GETTEXTLENGTH, 0, 0), 77);
    window.On(WM_APP + 7, [](WPARAM, LPARAM) { return LRESULT{43}; });
    EXPECT_EQ(SendMessageW(window.Handle(), WM_APP + 7, 0, 0), 43);
    EXPECT_EQ(calls, 2);
}

TEST(MessageWindow, RegisteredMessagesByNameAndBroadcastsReachOnlyTheTopLevelKind) {
    std::wstring name = UniqueName(L"broadcast");
    MessageWindow messageOnly;
    MessageWindow topLevel(MessageWindow::Kind::kHiddenTopLevel);
    int toMessageOnly = 0, toTopLevel = 0;
    UINT a = messageOnly.OnRegistered(name.c_str(), [&](WPARAM, LPARAM) {
        ++toMessageOnly;
        return LRESULT{1};
    });
    UINT b = topLevel.OnRegistered(name.c_str(), [&](WPARAM, LPARAM) {
        ++toTopLevel;
        return LRESULT{2};
    });
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, RegisterWindowMessageW(name.c_str()));
    EXPECT_GE(a, 0xC000u);

    EXPECT_EQ(SendMessageW(messageOnly.Handle(), a, 0, 0), 1);
    EXPECT_EQ(toMessageOnly, 1);

    // What Explorer does with "TaskbarCreated".
    ASSERT_TRUE(PostMessageW(HWND_BROADCAST, a, 0, 0));
    EXPECT_TRUE(PumpUntil([&] { return toTopLevel == 1; }));
    Pump(100);
    EXPECT_EQ(toMessageOnly, 1) << "a broadcast reached the message-only window";
    EXPECT_EQ(toTopLevel, 1);

    // The top-level kind stays hidden and out of the taskbar.
    EXPECT_FALSE(IsWindowVisible(topLevel.Handle()));
    EXPECT_EQ(GetAncestor(topLevel.Handle(), GA_PARENT), GetDesktopWindow());
    EXPECT_TRUE(GetWindowLongPtrW(topLevel.Handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_NE(GetAncestor(messageOnly.Handle(), GA_PARENT), GetDesktopWindow());
}

TEST(MessageWindow, DestroyingTheObjectStopsDelivery) {
    for (auto kind : {MessageWindow::Kind::kMessageOnly, MessageWindow::Kind::kHiddenTopLevel}) {
        int calls = 0;
        auto window = std::make_unique<MessageWindow>(kind);
        window->On(WM_APP + 9, [&](WPARAM, LPARAM) {
            ++calls;
            return LRESULT{0};
        });
        HWND hwnd = window->Handle();
        // Already queued when the object goes: it must never run a handler of a dead object.
        ASSERT_TRUE(PostMessageW(hwnd, WM_APP + 9, 0, 0));
        window.reset();
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_FALSE(PostMessageW(hwnd, WM_APP + 9, 0, 0));
        Pump(100);
        EXPECT_EQ(calls, 0);
    }
}

// A window the system destroys on its own (WM_CLOSE to the top-level kind) leaves an
// object with no handle, whose destruction must not touch a handle that may be reused.
TEST(MessageWindow, ClosedFromOutsideLeavesNoHandle) {
    auto window = std::make_unique<MessageWindow>(MessageWindow::Kind::kHiddenTopLevel);
    SendMessageW(window->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(window->Handle(), nullptr);
    window.reset();
}

} // namespace
