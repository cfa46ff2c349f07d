// The presence query's second way: the ICMP helper of iphlpapi.dll, which needs no
// administrator rights. Every request is sent asynchronously by one worker, which gets
// each answer as an APC while it waits alertably, so a silent friend holds nobody up.
#include "presence/ProbeState.h"

#include <winternl.h>
#include <ipexport.h>

#include "framework/LateLoad.h"
#include "framework/Thread.h"
#include "presence/EchoPacket.h"

#include <algorithm>
#include <array>
#include <memory>

namespace lv::presence {
namespace {

typedef HANDLE(WINAPI IcmpCreateFileFn)();
typedef BOOL(WINAPI IcmpCloseHandleFn)(HANDLE);
typedef DWORD(WINAPI IcmpSendEcho2Fn)(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID, IPAddr, LPVOID, WORD,
                                      PIP_OPTION_INFORMATION, LPVOID, DWORD, DWORD);
typedef DWORD(WINAPI IcmpParseRepliesFn)(LPVOID, DWORD);
typedef ULONG(WINAPI NtStatusToErrorFn)(NTSTATUS);

// The helper is loaded only by a query that needs it, on the worker: start-up does not pay
// for the DLL, and the main thread never waits for the loader.
struct IcmpFunctions {
    IcmpCreateFileFn* create = nullptr;
    IcmpCloseHandleFn* close = nullptr;
    IcmpSendEcho2Fn* send = nullptr;
    IcmpParseRepliesFn* parse = nullptr;
    NtStatusToErrorFn* error = nullptr;

    bool Load() {
        error = LateFunctionAs<NtStatusToErrorFn>(L"ntdll.dll", "RtlNtStatusToDosError");
        create = LateFunctionAs<IcmpCreateFileFn>(L"iphlpapi.dll", "IcmpCreateFile");
        close = LateFunctionAs<IcmpCloseHandleFn>(L"iphlpapi.dll", "IcmpCloseHandle");
        send = LateFunctionAs<IcmpSendEcho2Fn>(L"iphlpapi.dll", "IcmpSendEcho2");
        parse = LateFunctionAs<IcmpParseRepliesFn>(L"iphlpapi.dll", "IcmpParseReplies");
        return create && close && send && parse && error;
    }
};

// The same 12 zero bytes the raw way sends behind its header.
constexpr WORD kRequestData = kEchoRequestSize - 8;
// One ICMP_ECHO_REPLY, the data, 8 bytes of an ICMP error, IP options (at most 40) and the
// IO_STATUS_BLOCK the asynchronous call keeps in the buffer, with room to spare.
constexpr DWORD kReplyBuffer = 256;
static_assert(kReplyBuffer >=
              sizeof(ICMP_ECHO_REPLY) + kRequestData + 8 + 40 + sizeof(IO_STATUS_BLOCK));
// After the stop, how long the worker waits for the requests still out (their own time-outs
// end about then) before it lets them go.
constexpr DWORD kDrainBound = 2000;

class TIcmpEchoSender;

// One request under way. The system writes into `reply` until its APC has run, so it is
// freed only there; a request still out when the worker ends is left allocated.
struct PendingEcho {
    TIcmpEchoSender* sender;
    size_t number;
    uint32_t destination;
    alignas(8) std::array<unsigned char, kReplyBuffer> reply{};
};

class TIcmpEchoSender : public TThread {
  public:
    TIcmpEchoSender(std::shared_ptr<ProbeState> state, std::function<HANDLE()> open)
        : TThread(true), state_(std::move(state)), open_(std::move(open)) {}

  protected:
    void Execute() override {
        struct Quiet {
            HANDLE event;
            ~Quiet() { SetEvent(event); }
        } quiet{state_->helperQuiet};
        if (!icmp_.Load()) {
            state_->helperFailed = true;
            return;
        }
        HANDLE handle = open_ ? open_() : icmp_.create();
        if (handle == INVALID_HANDLE_VALUE || !handle) {
            state_->helperFailed = true;
            return;
        }
        HANDLE waits[2] = {state_->stopEvent, state_->helperWake};
        while (!Stopping()) {
            DWORD woke = WaitForMultipleObjectsEx(2, waits, FALSE, INFINITE, TRUE);
            if (woke == WAIT_IO_COMPLETION)
                continue;
            if (woke != WAIT_OBJECT_0 + 1)
                break;
            for (const HelperRequest& request : state_->TakeHelperRequests())
                if (!Stopping())
                    Send(handle, request);
        }
        // Answers from now on belong after the query's last line: none is reported.
        reporting_ = false;
        SetEvent(state_->helperQuiet);
        const ULONGLONG until = GetTickCount64() + kDrainBound;
        while (outstanding_ > 0 && !Terminated() && GetTickCount64() < until)
            SleepEx(20, TRUE);
        icmp_.close(handle);
        // Closing cancels what was still out; its APCs come now or never.
        SleepEx(0, TRUE);
    }

    void Cancel() override { state_->RequestStop(); }

  private:
    bool Stopping() const { return state_->stop || Terminated(); }

    void Send(HANDLE handle, const HelperRequest& request) {
        auto pending = std::make_unique<PendingEcho>();
        pending->sender = this;
        pending->number = request.number;
        pending->destination = request.destination;
        std::array<unsigned char, kRequestData> data{};
        DWORD got = icmp_.send(handle, nullptr, &TIcmpEchoSender::Arrived, pending.get(),
                               htonl(request.destination), data.data(), kRequestData, nullptr,
                               pending->reply.data(), kReplyBuffer, request.timeout);
        // Asynchronous: 0 and ERROR_IO_PENDING, and the APC follows. Any other 0 is a
        // request that never left (the friend is simply not reported); a count means it
        // was answered at once, and the APC still follows.
        if (got == 0) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) {
                if (HelperRefusal(error))
                    ++state_->helperRefused;
                return;
            }
        }
        ++outstanding_;
        pending.release();
    }

    static void NTAPI Arrived(PVOID context, PIO_STATUS_BLOCK status, ULONG) {
        std::unique_ptr<PendingEcho> pending(static_cast<PendingEcho*>(context));
        pending->sender->Answered(*pending, status ? status->Status : 0);
    }

    void Answered(PendingEcho& pending, NTSTATUS status) {
        --outstanding_;
        // Wine, for a user that may open neither raw nor ping sockets, refuses every
        // request here, with STATUS_ACCESS_DENIED.
        if (status >= 0)
            ++state_->helperAccepted;
        else if (HelperRefusal(icmp_.error(status)))
            ++state_->helperRefused;
        if (!reporting_ || status < 0)
            return;
        if (icmp_.parse(pending.reply.data(), kReplyBuffer) == 0)
            return;
        const auto* reply = reinterpret_cast<const ICMP_ECHO_REPLY*>(pending.reply.data());
        // Unreachable, timed out and the like come back as a reply with that status.
        if (reply->Status != IP_SUCCESS)
            return;
        state_->ReportAnswer(ntohl(reply->Address), pending.number);
    }

    std::shared_ptr<ProbeState> state_;
    std::function<HANDLE()> open_;
    IcmpFunctions icmp_;
    // This thread only: the APCs run on it.
    int outstanding_ = 0;
    bool reporting_ = true;
};

} // namespace

bool StartIcmpHelper(std::shared_ptr<ProbeState> state, std::function<HANDLE()> open) {
    try {
        auto worker = std::make_unique<TIcmpEchoSender>(std::move(state), std::move(open));
        worker->Start();
        // Running, it frees itself.
        worker.release();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace lv::presence
