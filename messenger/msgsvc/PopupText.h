#pragma once
// The text of a pop-up's message control, laid out so that the capture in Lumivale.exe
// (and anything that reads the old service's pop-ups) gets the sender and the body back
// byte for byte:
//
//   "从 " sender " 到 " recipient " 于 " time "\n\n" body
//
// The capture takes the sender as the bytes between the three-byte lead-in and the blank
// before the first "到 ", and the body as everything from the second byte after the first
// line feed. Names come from the network and may hold anything, so they are made safe for
// those two rules here.
#include <string>
#include <string_view>

#include "messenger/Receiver.h"

namespace lv::messenger {

// Every double-byte lead (0x81..0xFE) that is not followed by a trail byte (0x40..0x7E,
// 0x80..0xFE) becomes '_'. The window's conversion to UTF-16 would otherwise take the next
// byte as its trail, a blank or a line feed included, and the capture's markers would be
// gone after the round trip.
std::string WholeGbkCharacters(std::string_view text);

// The sender as it goes into the header: control bytes (line feeds above all) become '_',
// and a "到 " that the capture would take for the separator loses its blank to an
// ideographic one ("到　"), which looks the same.
std::string HeaderSender(std::string_view sender);
// The recipient and time only need to stay on one line (and whole characters).
std::string HeaderField(std::string_view field);

// A name for a log line: as in the header, cut to at most 64 bytes (whole characters)
// with "..." after a cut.
std::string LogName(std::string_view name);

// "2003/5/6 9:05:07"
std::string PopupTime(int year, int month, int day, int hour, int minute, int second);

std::string PopupText(const Message& message, std::string_view time);

} // namespace lv::messenger
