#pragma once
// The pop-up that shows one received message, as the system's Messenger service did: a
// top-level window titled "信使服务 " with the message in a static control of identifier
// 65535 and an OK button. WM_CLOSE destroys it at once, so a program that sends WM_CLOSE
// knows on return that the pop-up is gone.
#include "messenger/PopupContract.h"

#include <functional>
#include <string>

#include <windows.h>

namespace lv::messenger {

// Registers the window class; once, before the first ShowPopup.
bool RegisterPopupClass(HINSTANCE instance);

// Shows a pop-up with the text (GBK bytes) and tells a running Lumivale that it is ready. `closed` runs on the UI thread when the window
// is destroyed. False when the window could not be created (`closed` does not run then).
bool ShowPopup(HINSTANCE instance, const std::string& text, std::function<void()> closed);

// Posts the notice of a ready pop-up to a running Lumivale (see PopupContract.h).
void NoticeToCapture();
// msgsvc.ini's Notify=0 turns the notices off; the capture's timer still finds every pop-up.
void EnableCaptureNotices(bool on);
bool CaptureNoticesEnabled();

} // namespace lv::messenger
