#pragma once
// What the other windows and workers may use of the main window. They are handed a
// MainHub& when they are wired up and never see the main window's class (app/Main), which
// implements it.
#include "friends/FriendList.h"
#include "settings/Settings.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace lv {

class TGlobalHotKey;

class MainHub {
  public:
    // Any thread: one whole new last line of the status area; the lines of one thread
    // appear in the order of its calls. False when the program is ending and the line was
    // dropped.
    virtual bool AddStatusLine(std::string_view gbk) = 0;
    // Any thread: the line "<name><suffix>", where the name is that of the friend at
    // `address` (or "出错了"), looked up on the main thread when the line is added, so
    // that a worker never waits for the main thread to learn a name.
    virtual bool AddFriendStatusLine(std::string address, std::string suffix) = 0;

    // Main thread only from here on.
    virtual FriendList& Friends() = 0;
    // The friend whose line is selected in the main window's list.
    virtual std::optional<int> SelectedFriend() const = 0;
    // After a change to Friends(): the list on screen again, and FRIENDS.DAT written (a
    // failed write is reported and the list read back from the file). False when
    // FRIENDS.DAT was not written.
    virtual bool SaveFriends() = 0;
    // The settings in force; ApplySettings makes new ones take effect (it does not save).
    virtual const Settings& CurrentSettings() const = 0;
    virtual void ApplySettings(const Settings& settings) = 0;
    // The main window again above all others, after a modal window it opened has closed.
    virtual void PutOnTop() = 0;
    // Owner of the boxes the other windows show on its behalf.
    virtual HWND MainWindow() const = 0;
    // The global hot key; the settings dialog sets its key and learns whether it is held.
    virtual TGlobalHotKey& MainHotKey() = 0;
    // The tray icon's image: 0 the normal one, 1 the blank one it blinks to while
    // received messages wait (tmFlash).
    virtual void SetTrayIconIndex(int index) = 0;
    // tmFlash: runs while received messages wait unread, blinking the tray icon. Starting
    // it while it runs changes nothing (the rhythm and the icon's image go on).
    virtual bool Flashing() const = 0;
    virtual void SetFlashing(bool on) = 0;
    // The tray icon's notification that messages have arrived (GBK); false when it could
    // not be shown (the icon is not in the notification area).
    virtual bool ShowArrivalNotice(std::string_view title, std::string_view text) = 0;

  protected:
    ~MainHub() = default;
};

} // namespace lv
