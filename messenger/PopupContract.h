#pragma once
// What msgsvc.exe and Lumivale's capture agree on about a Messenger pop-up. Both programs
// and their tests take it from here.
//
// - The pop-up is a top-level window of exactly kPopupTitle (with its trailing blank), of
//   any class, with the message text in the child control kPopupTextId.
// - Readiness: the service sets the title only once the text control holds the text, and
//   a capture reads only a pop-up whose control has text; one without text is left alone
//   for kPopupGraceMs (it may be still being built) and then taken as it is.
// - The notice: once a pop-up is ready, msgsvc.exe posts the registered message
//   kCaptureNoticeMessage to the message-only window of class kCaptureNoticeClass, when one
//   exists. A running Lumivale owns that window and looks for pop-ups at once; its 100 ms
//   timer looks anyway, for pop-ups of other services and for a notice that got lost. A
//   notice never makes a pop-up ready: the rule above decides.
#include <cstddef>

namespace lv {

inline constexpr char kPopupTitle[] = "信使服务 "; // GBK bytes at run time
inline constexpr int kPopupTextId = 65535;
// At most this much of a pop-up's text is taken (GBK bytes).
inline constexpr size_t kMaxPopupTextBytes = 102399;
inline constexpr unsigned kPopupGraceMs = 1000;

inline constexpr wchar_t kCaptureNoticeClass[] = L"LumivaleCaptureNotice";
inline constexpr wchar_t kCaptureNoticeMessage[] = L"LumivaleMessengerPopupReady";

} // namespace lv
