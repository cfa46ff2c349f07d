#pragma once
// Takes over the Messenger service's pop-ups: each look finds the pop-ups titled "信使服务 "
// whose text is in, and for each, oldest first, reads its text control (65535), puts its
// record in front of the receive log, closes it, queues the message in the received-message
// window and says so in the status area; then it plays the sound once and starts the tray
// icon blinking. A look happens ten times a second (the main window's timer calls Tick) and
// at once when msgsvc.exe gives notice of a ready pop-up (see messenger/PopupContract.h).
#include "capture/MessageSplit.h"
#include "capture/Receive.h"
#include "framework/MessageWindow.h"
#include "hub/MainHub.h"
#include "messagelog/MessageLog.h"
#include "messenger/PopupContract.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace lv {

// One look takes pop-ups for at most this long; the rest are taken on the next turn of the
// message loop, so that a burst never stops the windows from answering.
inline constexpr DWORD kCaptureSliceMs = 50;
// Notifications of arrivals come at most this often; what arrives meanwhile is counted into
// the next one, so that a burst is one or two notifications, not one per message.
inline constexpr DWORD kNoticeSpacingMs = 3000;

// Tests: hears the sound instead of the speakers (the file as sndPlaySound would get it).
void SetSoundPlayer(std::function<void(const std::wstring& file)> player);

class TMessageCapture {
  public:
    TMessageCapture(MainHub& hub, TfrmReceive& receive, std::shared_ptr<MessageLog> receiveLog);

    // One look: every ready pop-up, oldest first, within kCaptureSliceMs; more are taken
    // in a look posted to follow at once. Returns how many were taken.
    int Tick();
    // Listens for msgsvc.exe's notices of ready pop-ups (a message-only window of the
    // notice class); each one brings a look at once. Off until called.
    void ListenForNotices();

  private:
    struct Taken {
        HWND popup;
        SplitMessage message;
        std::string record;
    };
    std::vector<HWND> FindReadyPopups();
    // After its record is on disk: closes the pop-up, queues the message, notes its lines.
    void Close(Taken& taken, LogWrite written);
    void FlushStatus();
    void LookSoon();
    // The arrival notification for what has come since the last one, when its time is due.
    void Announce();

    MainHub& hub_;
    TfrmReceive& receive_;
    std::shared_ptr<MessageLog> receiveLog_;
    // Pop-ups seen without their text, and since when.
    std::map<HWND, DWORD> unready_;
    // Pop-ups already taken that did not close: their message is not taken a second time.
    std::set<HWND> taken_;
    // One status line per stretch of trouble, not one per message.
    bool writeFailureReported_ = false;
    bool queueFullReported_ = false;
    // The status lines not yet in the status area, in order, and when it last took some.
    std::vector<std::string> lines_;
    DWORD statusSince_ = 0;
    // Ready pop-ups found by a look that ran out of time, oldest first.
    std::deque<HWND> pending_;
    std::unique_ptr<MessageWindow> notices_;
    UINT lookMessage_ = 0;
    bool lookPosted_ = false;
    // Arrived since the last notification, and the newest of them.
    int unannounced_ = 0;
    SplitMessage newest_;
    DWORD lastNotice_ = 0;
    bool noticeShown_ = false;
};

} // namespace lv
