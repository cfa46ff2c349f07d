#pragma once
// Inside the presence query: what its controller (main thread) and its workers share for
// one query. A worker may outlive the query, so neither side owns it alone.
#include <winsock2.h>
#include <windows.h>

#include "hub/MainHub.h"
#include "presence/ProbeRules.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace lv::presence {

// One echo request for the ICMP helper's worker.
struct HelperRequest {
    size_t number;
    uint32_t destination;
    DWORD timeout;
};

struct ProbeState : std::enable_shared_from_this<ProbeState> {
    explicit ProbeState(MainHub& hub);
    ~ProbeState();
    ProbeState(const ProbeState&) = delete;
    ProbeState& operator=(const ProbeState&) = delete;

    void RequestStop();

    // Worker threads: an answer from `source` (first field in the high byte), and the
    // request it answers when the worker knows it; its line is made on the main thread,
    // in the order of the worker's calls.
    void ReportAnswer(uint32_t source, std::optional<size_t> request);
    void ReportError();

    // Main thread: hands a request to the helper's worker.
    void QueueHelperRequest(const HelperRequest& request);
    // The helper's worker: the requests handed over since the last call.
    std::deque<HelperRequest> TakeHelperRequests();

    MainHub& hub;
    std::atomic<bool> stop = false;
    HANDLE stopEvent;
    // Set by the raw receiver when it has ended, by the helper's worker once it reports
    // nothing more.
    HANDLE receiverDone;
    HANDLE helperQuiet;
    // Signalled when requests wait for the helper's worker.
    HANDLE helperWake;
    // WSAGetLastError of the raw receiver's socket when it could not be opened.
    std::atomic<int> receiveError = 0;
    // The helper could not be opened (or its worker not started); its requests that the
    // system refused for want of rights, and those it took.
    std::atomic<bool> helperFailed = false;
    std::atomic<int> helperRefused = 0;
    std::atomic<int> helperAccepted = 0;
    // Lines handed to the main thread, and (main thread) lines that arrived there.
    std::atomic<int> posted = 0;
    int arrived = 0;
    // Main thread: the query is over; a line of a worker that outlived it is dropped.
    bool over = false;
    // Main thread: the requests sent, to tell whose answer came back.
    AnswerBook book;

  private:
    void Report(std::function<void()> line);

    std::mutex helperLock_;
    std::deque<HelperRequest> helperRequests_;
};

// The ICMP helper's worker: opens the helper (`open`, or IcmpCreateFile), sends every
// request handed to it with IcmpSendEcho2 and reports each answer until the stop. False
// when the thread could not be started.
bool StartIcmpHelper(std::shared_ptr<ProbeState> state, std::function<HANDLE()> open);

} // namespace lv::presence
