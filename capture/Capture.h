#pragma once
// Takes over the Messenger service's pop-ups: ten times a second the main window's timer
// calls Tick, which finds one pop-up titled "信使服务 ", reads its text control (65535),
// closes it, queues the message in the received-message window, puts its record in front of
// the receive log, plays the sound and starts the tray icon blinking.
#include "capture/Receive.h"
#include "hub/MainHub.h"
#include "info/MessageLog.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace lv {

// The pop-up: a top-level window of exactly this title (with its trailing blank), of any
// class, and the identifier of its text control.
inline constexpr char kPopupTitle[] = "信使服务 ";
inline constexpr int kPopupTextId = 65535;
// At most this much of a pop-up's text is taken (GBK bytes).
inline constexpr size_t kMaxPopupTextBytes = 102399;
// A pop-up whose text is not in yet (its control not made, or still empty) is left alone for
// this long, so that a window caught while it is being built is not read empty.
inline constexpr DWORD kPopupGraceMs = 1000;

// Tests: hears the sound instead of the speakers (the file as sndPlaySound would get it).
void SetSoundPlayer(std::function<void(const std::wstring& file)> player);

class TMessageCapture {
  public:
    TMessageCapture(MainHub& hub, TfrmReceive& receive, std::shared_ptr<MessageLog> receiveLog);

    // One tick: at most one pop-up taken.
    void Tick();

  private:
    HWND FindReadyPopup();
    void Take(HWND popup);

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
};

} // namespace lv
