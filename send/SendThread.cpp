#include "send/SendThread.h"

#include "framework/Application.h"
#include "framework/Gbk.h"
#include "hub/MainHub.h"
#include "messenger/NetMessage.h"
#include "messenger/Sender.h"
#include "messagelog/SendRecord.h"

#include <windows.h>

#include <cstring>

namespace lv {
namespace {

constexpr size_t kBufferSlack = 10;

LogTime LocalNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return LogTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute};
}

const wchar_t* Units(const std::string& buffer) {
    // std::string's storage is suitably aligned for wchar_t (it comes from operator new).
    return reinterpret_cast<const wchar_t*>(buffer.data());
}

} // namespace

std::string WideSendBuffer(std::string_view gbk) {
    std::wstring wide = ToWide(gbk);
    const size_t units = wide.size() + 1;
    std::string buffer(units * 2 + kBufferSlack, '\0');
    std::memcpy(buffer.data(), wide.c_str(), units * 2);
    return buffer;
}

std::string SentText(const std::string& buffer) {
    return ToGbk(std::wstring_view(Units(buffer)));
}

SendOutcome PerformSend(const SendJob& job, const SendContext& context) {
    context.statusLine(job.name + kSendingSuffix);

    const std::string address = WideSendBuffer(job.address);
    const std::string sender = WideSendBuffer(job.senderName);
    const std::string message = WideSendBuffer(job.text);
    const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
    const auto length = static_cast<unsigned long>(message.size());

    SendOutcome outcome;
    // What our NetMessageBufferSend leaves on this thread says why; a send function that
    // leaves nothing is explained by its status alone.
    messenger::ForgetLastSendResult();
    outcome.status =
        context.send ? context.send(nullptr, Units(address), Units(sender), bytes, length)
                     : NetMessageBufferSend(nullptr, Units(address), Units(sender), bytes, length);
    if (outcome.status == 0) {
        LogTime now = context.clock ? context.clock() : LocalNow();
        // Address and text as sent: through UTF-16 and back.
        outcome.logWrite = context.log->Prepend(
            SendRecordText(now, job.name, SentText(address), SentText(message)));
    }

    context.statusLine(job.name + ":" + (outcome.status == 0 ? kSentResult : kFailedResult));
    if (outcome.status == 0 && outcome.logWrite == LogWrite::Failed)
        context.statusLine(kSendLogFailedText);
    if (outcome.status != 0) {
        messenger::SendResult why = messenger::LastSendResult();
        if (why.status != outcome.status)
            why = messenger::SendResult{static_cast<uint32_t>(outcome.status)};
        context.statusLine(SendFailureLine(why, SentText(address), SentText(message).size()));
    }
    return outcome;
}

TSendThread::TSendThread(SendJob job, SendContext context)
    : TThread(true), job_(std::move(job)), context_(std::move(context)) {
    // A message the peer accepts while the program is ending still gets its record: the
    // end waits for the send's own deadline, name lookup included (plus the log's journal).
    SetExitDeadline(GetTickCount64() + messenger::SendDeadlineMs(messenger::SendOptions{}) + 2000);
    Start();
}

void TSendThread::Execute() {
    PerformSend(job_, context_);
}

std::function<void(std::string)> PostedStatusLines(MainHub& hub) {
    return [hub = &hub](std::string line) {
        // Runs on the main thread, and only while the windows exist; refused (the line
        // dropped) once the program is ending.
        App().Post([hub, line = std::move(line)] { hub->AddStatusLine(line); });
    };
}

} // namespace lv
