#pragma once
// Computer names of friends, looked up while a presence query runs: on workers of their own,
// since a lookup can take seconds and cannot be cancelled, a few names at a time.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lv::presence {

// The first IPv4 address of a computer name (GBK), first field in the high byte
// (GetAddrInfoW, which also reads the hosts file); nothing when it has none.
std::optional<uint32_t> LookUpComputerName(const std::string& gbkName);

class NameLookups {
  public:
    using Resolver = std::function<std::optional<uint32_t>(const std::string& gbkName)>;
    explicit NameLookups(Resolver resolver);
    // Stop().
    ~NameLookups();
    NameLookups(const NameLookups&) = delete;
    NameLookups& operator=(const NameLookups&) = delete;

    // Main thread: looks up each name not asked for before.
    void Add(const std::vector<std::string>& names);
    // Main thread: the name's address once it is known; nothing while its lookup runs or
    // waits, when it has none, or when it was never asked for.
    std::optional<uint32_t> Find(const std::string& name) const;
    // No further lookup starts; one under way ends by itself and its answer is dropped.
    void Stop();

    // What the lookup workers share with it (NameLookup.cpp).
    struct Shared;

  private:
    std::shared_ptr<Shared> shared_;
};

} // namespace lv::presence
