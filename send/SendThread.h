#pragma once
// The send worker: one per message, started by the send window's Send, freeing itself when
// done. It hands the message to NetMessageBufferSend, puts the record of an accepted message
// in front of the send log (which rewrites send.txt) and reports in the status area.
//
// It never touches a window: the send window gives it the name, address and text when Send
// is pressed, and its status lines travel to the main thread as posts. It holds the send
// log itself, so a worker still waiting for the network when the program exits writes its
// record into a log that outlives the windows, and its lines are simply dropped.
#include "messagelog/LogRecord.h"
#include "framework/Thread.h"
#include "messagelog/MessageLog.h"
#include "send/SendFailureText.h"

#include <functional>
#include <memory>
#include <string>

namespace lv {

class MainHub;

// What the send window held when Send was pressed (GBK).
struct SendJob {
    std::string name;    // lbName: the friend's name or "（临时发送）"
    std::string address; // lbIP
    std::string text;    // mmContent, lines ended by CR LF
    std::string senderName;
};

// NetMessageBufferSend's signature; tests put a function of their own in its place.
using MessageSendFunction =
    std::function<unsigned long(const wchar_t* server, const wchar_t* to, const wchar_t* from,
                                const unsigned char* buffer, unsigned long length)>;

// Where a worker's results go.
struct SendContext {
    // The send log, shared with the history viewer.
    std::shared_ptr<MessageLog> log;
    // One status line; called on the worker's thread, so it must hand the line on.
    std::function<void(std::string line)> statusLine;
    // Empty: the program's NetMessageBufferSend.
    MessageSendFunction send;
    // Empty: the local time at the moment the record is made.
    std::function<LogTime()> clock;
};

inline constexpr char kSendingSuffix[] = ":正在发送..";
inline constexpr char kSentResult[] = "发送成功^_^";
inline constexpr char kFailedResult[] = "发送失败:-(";
// Said after the result line when send.txt could not be written: the record waits in memory
// and goes into the file with the next write that succeeds.
inline constexpr char kSendLogFailedText[] =
    "无法写入send.txt，这条发送记录暂存在内存中，下次发送成功时再写入。";

// The buffer NetMessageBufferSend gets for a text: its UTF-16LE code units with the
// terminating null (n units, 2n bytes), then 10 bytes more, zero. 2n + 10 bytes in all.
std::string WideSendBuffer(std::string_view gbk);
// The text a buffer made by WideSendBuffer holds, back in GBK: what was sent.
std::string SentText(const std::string& buffer);

struct SendOutcome {
    unsigned long status = 0;
    // Only when status is 0: what became of send.txt.
    LogWrite logWrite = LogWrite::Written;
};

// The whole send, in order: "<name>:正在发送..", the three buffers, the service call, on
// status 0 the record in front of the log (send.txt rewritten), then "<name>:<result>", and
// after a failure one line that says why (send/SendFailureText.h).
SendOutcome PerformSend(const SendJob& job, const SendContext& context);

class TSendThread final : public TThread {
  public:
    // Starts at once; frees itself when done, so make it with new and keep no pointer.
    TSendThread(SendJob job, SendContext context);

  protected:
    void Execute() override;

  private:
    SendJob job_;
    SendContext context_;
};

// Status lines for `hub`, posted to the main thread; dropped once the program is ending.
// The hub is only used there, while the windows still exist.
std::function<void(std::string)> PostedStatusLines(MainHub& hub);

} // namespace lv
