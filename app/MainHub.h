#pragma once
// What the other windows and workers may use of the main window. They get a MainHub&
// when they are wired up and never see the main window's class itself.
#include "friends/FriendTable.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace lv {

class TListBox;

class MainHub {
  public:
    // Any thread: one whole new last line of the status area; the lines of one thread
    // appear in the order of its calls.
    virtual void AddStatusLine(std::string_view gbk) = 0;
    // Any thread: the friend with that address, or "出错了"; read on the main thread so
    // that it never sees the list half changed.
    virtual std::string FriendNameByAddress(std::string_view address) = 0;

    // Main thread only from here on.
    // The friend list; line i of FriendList() shows FriendNames[i].
    virtual FriendTable& Friends() = 0;
    virtual TListBox& FriendList() = 0;
    // Writes FRIENDS.DAT after a change (and reloads it when that fails).
    virtual void SaveFriends() = 0;
    // The main window again above all others, after a modal window it opened has closed.
    virtual void PutOnTop() = 0;
    virtual HWND MainWindow() const = 0;

  protected:
    ~MainHub() = default;
};

// Set by the delay timer, cleared by whoever starts it (the presence query).
extern bool DelayElapsed;

} // namespace lv
