#pragma once
// One record of the message logs (send.txt, receive.txt), newest first in the file:
//   date line, party line, "-----------------", the text, four empty lines,
// every line ended by CR LF. The text keeps its own line breaks, so a record of a
// one-line message is eight lines. No clock here: the caller passes the local time.
#include <string>
#include <string_view>
#include <vector>

namespace lv {

// Local time of a log record, as the calendar shows it (month and day from 1, hour 0-23).
struct LogTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
};

// "2003年5月6日 9:5": plain decimal numbers, no leading zeros, no seconds.
std::string LogDateLine(const LogTime& time);

// The record as lines: the text is one entry, whatever line breaks it holds.
std::vector<std::string> LogRecordLines(const LogTime& time, std::string_view partyLine,
                                        std::string_view text);

// The record as the file holds it: each of its lines followed by CR LF.
std::string LogRecordText(const LogTime& time, std::string_view partyLine, std::string_view text);

// The lines joined the same way (each followed by CR LF), e.g. a new record's lines in
// front of the lines of the log so far.
std::string JoinLogLines(const std::vector<std::string>& lines);

} // namespace lv
