#include "messenger/Firewall.h"

namespace lv::messenger::firewall {

namespace {

using Variables = std::vector<std::pair<std::wstring, std::wstring>>;

constexpr long kProfileBits[3] = {kDomain, kPrivate, kPublic};

// Windows compares paths without case; '/' is read as '\'. Letters beyond ASCII keep their
// case here: Windows itself writes the rules it makes with the path as the file has it.
wchar_t Fold(wchar_t c) {
    if (c >= L'A' && c <= L'Z')
        return static_cast<wchar_t>(c - L'A' + L'a');
    return c == L'/' ? L'\\' : c;
}

bool SameText(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}

std::wstring_view Trim(std::wstring_view s) {
    const wchar_t* blank = L" \t\"";
    size_t first = s.find_first_not_of(blank);
    if (first == std::wstring_view::npos)
        return {};
    size_t last = s.find_last_not_of(blank);
    return s.substr(first, last - first + 1);
}

std::wstring_view FileName(std::wstring_view path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

bool Anywhere(std::wstring_view remote) {
    remote = Trim(remote);
    return remote.empty() || remote == L"*" || SameText(remote, L"Any");
}

std::optional<uint16_t> Port(std::wstring_view s) {
    s = Trim(s);
    if (s.empty() || s.size() > 5)
        return std::nullopt;
    unsigned value = 0;
    for (wchar_t c : s) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    if (value > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

// A rule that carries a peer's plain TCP connection to this port, whatever the program.
bool CarriesOurTraffic(const Rule& r, uint16_t port) {
    if (!r.service.empty() || r.secure)
        return false; // a service's rule never applies to a program a user started
    if (r.protocol == kAnyProtocol)
        return true;
    return r.protocol == kTcp && PortsCover(r.localPorts, port);
}

struct Outcome {
    bool open = true;
    Why why = Why::kNone;
    bool byPolicy = false;
    std::wstring otherPath;
};

bool MoreTelling(Why a, Why b) {
    return a != Why::kNone && (b == Why::kNone || a < b);
}

class Decision {
  public:
    Decision(const Snapshot& s, std::wstring_view program) : s_(s), program_(program) {}

    Outcome For(int profile, uint16_t port) const {
        const ProfileSettings& local = s_.local[profile];
        const PolicySettings& policy = s_.policy[profile];
        const long bit = kProfileBits[profile];
        if (!policy.enabled.value_or(local.enabled))
            return {};
        if (policy.blockAllInbound.value_or(local.blockAllInbound))
            return {false, Why::kBlockAll, policy.blockAllInbound.value_or(false), {}};
        const bool localRules = policy.localRules.value_or(true) && !s_.localRulesOverridden;
        auto applies = [&](const Rule& r) {
            return r.enabled && r.inbound && (r.profiles & bit) && (r.fromPolicy || localRules) &&
                   CarriesOurTraffic(r, port);
        };
        for (const Rule& r : s_.rules)
            if (!r.allow && applies(r) && ForProgram(r) && Anywhere(r.remoteAddresses))
                return {false, Why::kBlockRule, r.fromPolicy, {}};
        for (const Rule& r : s_.rules)
            if (r.allow && applies(r) && ForProgram(r))
                return {};
        if (!policy.defaultBlock.value_or(local.defaultBlock))
            return {};

        // Blocked by the default: what came closest to letting it in.
        Outcome blocked{false, Why::kNoAllowRule, !localRules, {}};
        auto allowsUsElsewhere = [&](const Rule& r) {
            return r.enabled && r.inbound && r.allow && CarriesOurTraffic(r, port);
        };
        for (const Rule& r : s_.rules) {
            if (!allowsUsElsewhere(r))
                continue;
            if (!r.fromPolicy && !localRules && (r.profiles & bit) && ForProgram(r)) {
                blocked.why = Why::kLocalRulesIgnored;
                break;
            }
            if ((r.fromPolicy || localRules) && ForProgram(r) &&
                MoreTelling(Why::kOtherProfile, blocked.why))
                blocked.why = Why::kOtherProfile;
            else if ((r.fromPolicy || localRules) && (r.profiles & bit) && !r.program.empty() &&
                     SameText(FileName(Trim(r.program)), FileName(program_)) &&
                     MoreTelling(Why::kOtherPath, blocked.why)) {
                blocked.why = Why::kOtherPath;
                blocked.otherPath = r.program;
            }
        }
        return blocked;
    }

  private:
    bool ForProgram(const Rule& r) const {
        return r.program.empty() || SameProgram(r.program, program_, s_.machineVariables);
    }

    const Snapshot& s_;
    std::wstring_view program_;
};

void Keep(Outcome& kept, Outcome candidate) {
    if (MoreTelling(candidate.why, kept.why))
        kept = std::move(candidate);
    else if (candidate.why == kept.why)
        kept.byPolicy = kept.byPolicy || candidate.byPolicy;
}

} // namespace

bool PortsCover(std::wstring_view localPorts, uint16_t port) {
    localPorts = Trim(localPorts);
    if (localPorts.empty() || localPorts == L"*" || SameText(localPorts, L"Any"))
        return true;
    while (!localPorts.empty()) {
        size_t comma = localPorts.find(L',');
        std::wstring_view item = localPorts.substr(0, comma);
        localPorts =
            comma == std::wstring_view::npos ? std::wstring_view{} : localPorts.substr(comma + 1);
        size_t dash = item.find(L'-');
        if (dash == std::wstring_view::npos) {
            if (Port(item) == port)
                return true;
            continue;
        }
        // A keyword such as "RPC-EPMap" has a dash too: no number, no match.
        std::optional<uint16_t> low = Port(item.substr(0, dash)),
                                high = Port(item.substr(dash + 1));
        if (low && high && *low <= port && port <= *high)
            return true;
    }
    return false;
}

std::wstring ExpandRulePath(std::wstring_view path, const Variables& variables) {
    std::wstring out;
    size_t i = 0;
    while (i < path.size()) {
        size_t open = path.find(L'%', i);
        size_t close = open == std::wstring_view::npos ? open : path.find(L'%', open + 1);
        if (close == std::wstring_view::npos) {
            out.append(path.substr(i));
            break;
        }
        out.append(path.substr(i, open - i));
        std::wstring_view name = path.substr(open + 1, close - open - 1);
        const std::wstring* value = nullptr;
        for (const auto& [n, v] : variables)
            if (SameText(n, name))
                value = &v;
        if (value) {
            out.append(*value);
            i = close + 1;
        } else {
            // Unknown to the service: left as written, so it names no file. The second '%'
            // may open the next variable.
            out.append(path.substr(open, close - open));
            i = close;
        }
    }
    return out;
}

bool SameProgram(std::wstring_view rulePath, std::wstring_view program,
                 const Variables& variables) {
    std::wstring expanded = ExpandRulePath(Trim(rulePath), variables);
    return !program.empty() && SameText(expanded, program);
}

Verdict Judge(const Snapshot& snapshot, std::wstring_view program,
              const std::vector<uint16_t>& ports) {
    Verdict verdict;
    verdict.currentProfiles = snapshot.currentProfiles & (kDomain | kPrivate | kPublic);
    if (!snapshot.known || verdict.currentProfiles == 0 || ports.empty() || program.empty())
        return verdict;
    Decision decision(snapshot, program);
    Outcome worst;
    for (int profile = 0; profile < 3; ++profile) {
        if (!(verdict.currentProfiles & kProfileBits[profile]))
            continue;
        Outcome here{false, Why::kNone, false, {}};
        for (uint16_t port : ports) {
            Outcome o = decision.For(profile, port);
            if (o.open) {
                here.open = true;
                break;
            }
            Keep(here, std::move(o));
        }
        if (here.open)
            continue;
        verdict.blockedProfiles |= kProfileBits[profile];
        Keep(worst, std::move(here));
    }
    verdict.state = verdict.blockedProfiles ? Verdict::State::kBlocked : Verdict::State::kOpen;
    verdict.why = worst.why;
    verdict.byPolicy = worst.byPolicy;
    verdict.otherPath = std::move(worst.otherPath);
    return verdict;
}

std::optional<Rule> ParsePolicyRule(std::wstring_view text) {
    if (text.empty() || (text[0] != L'v' && text[0] != L'V'))
        return std::nullopt;
    Rule rule;
    rule.fromPolicy = true;
    rule.profiles = 0;
    bool action = false, direction = false;
    size_t bar = text.find(L'|');
    while (bar != std::wstring_view::npos) {
        size_t next = text.find(L'|', bar + 1);
        std::wstring_view field =
            text.substr(bar + 1, next == std::wstring_view::npos ? next : next - bar - 1);
        bar = next;
        size_t equals = field.find(L'=');
        if (equals == std::wstring_view::npos)
            continue;
        std::wstring_view key = field.substr(0, equals), value = field.substr(equals + 1);
        auto append = [](std::wstring& list, std::wstring_view item) {
            if (!list.empty())
                list += L',';
            list += item;
        };
        if (SameText(key, L"Action")) {
            action = true;
            if (SameText(value, L"Block"))
                rule.allow = false;
            else if (SameText(value, L"ByPass"))
                rule.secure = true; // lets authenticated connections past block rules only
            else if (!SameText(value, L"Allow"))
                return std::nullopt;
        } else if (SameText(key, L"Dir")) {
            direction = true;
            rule.inbound = SameText(value, L"In");
        } else if (SameText(key, L"Active")) {
            rule.enabled = SameText(value, L"TRUE");
        } else if (SameText(key, L"Protocol")) {
            std::optional<uint16_t> p = Port(value);
            if (!p)
                return std::nullopt;
            rule.protocol = *p;
        } else if (SameText(key, L"Profile")) {
            if (SameText(value, L"Domain"))
                rule.profiles |= kDomain;
            else if (SameText(value, L"Private"))
                rule.profiles |= kPrivate;
            else if (SameText(value, L"Public"))
                rule.profiles |= kPublic;
        } else if (SameText(key, L"LPort") || SameText(key, L"LPort2_10")) {
            append(rule.localPorts, value);
        } else if (SameText(key, L"App")) {
            rule.program = value;
        } else if (SameText(key, L"Svc")) {
            rule.service = value;
        } else if (SameText(key, L"RA4") || SameText(key, L"RA6")) {
            append(rule.remoteAddresses, value);
        } else if (SameText(key, L"Name")) {
            rule.name = value;
        } else if (SameText(key, L"Security") || SameText(key, L"Security2_9") ||
                   SameText(key, L"Security2")) {
            rule.secure = rule.secure || !SameText(value, L"NotRequired");
        }
    }
    if (!action || !direction)
        return std::nullopt;
    if (rule.profiles == 0)
        rule.profiles = kAllProfiles;
    return rule;
}

} // namespace lv::messenger::firewall
