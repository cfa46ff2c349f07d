#include "presence/NameLookup.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "framework/Gbk.h"
#include "framework/Thread.h"

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <set>

namespace lv::presence {
namespace {

// Lookups at once: enough for a list of names that answer at once, few enough threads for
// names that make every lookup wait for the name servers' time-outs.
constexpr int kMaxLookups = 8;

} // namespace

std::optional<uint32_t> LookUpComputerName(const std::string& gbkName) {
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    if (GetAddrInfoW(ToWide(gbkName).c_str(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    std::optional<uint32_t> address;
    for (const ADDRINFOW* entry = found; entry && !address; entry = entry->ai_next)
        if (entry->ai_family == AF_INET && entry->ai_addr)
            address = ntohl(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr);
    FreeAddrInfoW(found);
    return address;
}

struct NameLookups::Shared {
    explicit Shared(Resolver resolver) : resolve(std::move(resolver)) {}

    // The resolver is this query's own copy: a worker may still be inside it after the
    // query is over.
    const Resolver resolve;
    mutable std::mutex lock;
    std::deque<std::string> waiting;
    std::set<std::string> asked;
    std::map<std::string, std::optional<uint32_t>> found;
    int running = 0;
    bool stopped = false;
};

namespace {

class TNameLookup : public TThread {
  public:
    explicit TNameLookup(std::shared_ptr<NameLookups::Shared> shared)
        : TThread(true), shared_(std::move(shared)) {}

  protected:
    void Execute() override {
        WSADATA data;
        const bool started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        for (;;) {
            std::string name;
            {
                std::lock_guard<std::mutex> lock(shared_->lock);
                if (shared_->stopped || Terminated() || shared_->waiting.empty()) {
                    --shared_->running;
                    break;
                }
                name = std::move(shared_->waiting.front());
                shared_->waiting.pop_front();
            }
            std::optional<uint32_t> address = shared_->resolve(name);
            std::lock_guard<std::mutex> lock(shared_->lock);
            shared_->found[name] = address;
        }
        if (started)
            WSACleanup();
    }

  private:
    std::shared_ptr<NameLookups::Shared> shared_;
};

} // namespace

NameLookups::NameLookups(Resolver resolver)
    : shared_(std::make_shared<Shared>(std::move(resolver))) {}

NameLookups::~NameLookups() {
    Stop();
}

void NameLookups::Add(const std::vector<std::string>& names) {
    int start = 0;
    {
        std::lock_guard<std::mutex> lock(shared_->lock);
        if (shared_->stopped)
            return;
        for (const std::string& name : names)
            if (shared_->asked.insert(name).second)
                shared_->waiting.push_back(name);
        const int wanted = std::min<int>(kMaxLookups, static_cast<int>(shared_->waiting.size()) +
                                                          shared_->running);
        start = wanted - shared_->running;
        shared_->running += std::max(start, 0);
    }
    for (int i = 0; i < start; ++i) {
        try {
            auto worker = std::make_unique<TNameLookup>(shared_);
            worker->Start();
            worker.release();
        } catch (...) {
            std::lock_guard<std::mutex> lock(shared_->lock);
            shared_->running -= start - i;
            break;
        }
    }
}

std::optional<uint32_t> NameLookups::Find(const std::string& name) const {
    std::lock_guard<std::mutex> lock(shared_->lock);
    auto it = shared_->found.find(name);
    return it == shared_->found.end() ? std::nullopt : it->second;
}

void NameLookups::Stop() {
    std::lock_guard<std::mutex> lock(shared_->lock);
    shared_->stopped = true;
    shared_->waiting.clear();
}

} // namespace lv::presence
