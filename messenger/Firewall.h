#pragma once
// Whether Windows Defender Firewall lets another computer's connection reach msgsvc.exe,
// decided from a snapshot of its state. Portable, so that the cases Windows users meet are
// tested without Windows; messenger/FirewallPolicy gathers the snapshot and changes rules.
//
// How the firewall decides, per network profile (Microsoft's documentation of the firewall,
// [MS-FASP] and [MS-GPFAS]): a profile that is off lets everything in; "block all incoming
// connections" (shields up) lets nothing in, whatever the rules; otherwise a matching block
// rule beats every allow rule, a matching allow rule lets the connection in, and else the
// profile's default inbound action decides (block, unless someone changed it). A setting of
// group policy takes the place of the local one; policy's rules always apply, the local
// store's only while policy lets local rules merge. Paths in rules may hold environment
// variables, which the firewall service expands as LocalService: %USERPROFILE% and its kind
// never name a user's folder there.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lv::messenger::firewall {

// NET_FW_PROFILE_TYPE2 bits; a rule for every profile carries NET_FW_PROFILE2_ALL.
constexpr long kDomain = 1;
constexpr long kPrivate = 2;
constexpr long kPublic = 4;
constexpr long kAllProfiles = 0x7FFFFFFF;
// NET_FW_IP_PROTOCOL_TCP and _ANY.
constexpr int kTcp = 6;
constexpr int kAnyProtocol = 256;

struct Rule {
    std::wstring name;
    bool enabled = true;
    bool inbound = true;
    bool allow = true; // false: a block rule
    long profiles = kAllProfiles;
    int protocol = kAnyProtocol;
    // INetFwRule::LocalPorts: empty or "*" for every port, "139,1139", "1000-2000", or a
    // keyword such as "RPC" that never means our ports.
    std::wstring localPorts;
    std::wstring program; // ApplicationName as written (variables unexpanded); empty: any
    std::wstring service; // set: the rule is for that service's traffic only ("*": any service)
    // RemoteAddresses; empty or "*": from anywhere. A block rule for some remote addresses
    // does not stop every peer; an allow rule for some (often "LocalSubnet") lets the LAN in.
    std::wstring remoteAddresses;
    // Only for authenticated (IPsec) connections: a peer's plain TCP never matches.
    bool secure = false;
    bool fromPolicy = false; // group policy's rule, not the local store's
};

// One profile's switches as the local store has them.
struct ProfileSettings {
    bool enabled = true;
    bool blockAllInbound = false;
    bool defaultBlock = true; // the default inbound action is block
};

// The same switches where group policy sets them (nullopt: policy leaves the local one).
struct PolicySettings {
    std::optional<bool> enabled;
    std::optional<bool> blockAllInbound;
    std::optional<bool> defaultBlock;
    std::optional<bool> localRules; // AllowLocalPolicyMerge: local rules apply too
};

struct Snapshot {
    bool known = false;       // false: the firewall could not be read; nothing can be said
    long currentProfiles = 0; // CurrentProfileTypes: several bits when networks differ
    ProfileSettings local[3]; // domain, private, public
    PolicySettings policy[3];
    // LocalPolicyModifyState said that local rules do not take effect (NET_FW_MODIFY_STATE_
    // GP_OVERRIDE), whatever the policy keys that could be read say.
    bool localRulesOverridden = false;
    std::vector<Rule> rules; // the local store's and group policy's
    // Variables the firewall service expands in rule paths (machine-wide ones: SystemRoot,
    // ProgramFiles, ...), name and value; any other stays as written and matches no file.
    std::vector<std::pair<std::wstring, std::wstring>> machineVariables;
};

// Why nothing arrives, most telling first: when profiles or ports differ, the first of
// these that applies is the one said.
enum class Why {
    kNone,
    kBlockAll,          // "block all incoming connections"
    kBlockRule,         // a block rule for msgsvc.exe (a dismissed or unseen prompt leaves one)
    kLocalRulesIgnored, // an allow rule in the local store, while policy applies only its own
    kOtherProfile,      // an allow rule, but not for the network profile in force
    kOtherPath,         // an allow rule for a msgsvc.exe elsewhere, or with an unexpanded variable
    kNoAllowRule,       // nothing allows it and the default inbound action blocks
};

struct Verdict {
    enum class State { kUnknown, kOpen, kBlocked };
    State state = State::kUnknown;
    long blockedProfiles = 0; // the profiles in force in which peers' messages are stopped
    long currentProfiles = 0; // the profiles in force
    Why why = Why::kNone;
    // The firewall is managed by group policy where it blocks: only IT can open it (the
    // installer's local rule would not count, or the blocking setting is policy's).
    bool byPolicy = false;
    std::wstring otherPath; // kOtherPath: the program the allow rule names, as written
};

// The verdict for connections from other computers to `program` (msgsvc.exe's full path) on
// any of `ports` (TCP; one open port is enough, peers try both).
Verdict Judge(const Snapshot& snapshot, std::wstring_view program,
              const std::vector<uint16_t>& ports);

// Whether a rule's LocalPorts take in `port`.
bool PortsCover(std::wstring_view localPorts, uint16_t port);
// A rule's program path with the variables the firewall service knows replaced.
std::wstring ExpandRulePath(std::wstring_view path,
                            const std::vector<std::pair<std::wstring, std::wstring>>& variables);
// Whether the rule's program path names `program`: expanded, '/' read as '\', letters
// compared without case, as Windows compares paths.
bool SameProgram(std::wstring_view rulePath, std::wstring_view program,
                 const std::vector<std::pair<std::wstring, std::wstring>>& variables);

// One group policy rule, a value under the key FirewallRules of
// Software\Policies\Microsoft\WindowsFirewall ([MS-GPFAS] 2.2.2.19):
// "v2.10|Action=Allow|Active=TRUE|Dir=In|...|".
// nullopt when it is not a rule.
std::optional<Rule> ParsePolicyRule(std::wstring_view text);

} // namespace lv::messenger::firewall
