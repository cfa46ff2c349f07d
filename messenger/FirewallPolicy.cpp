#include "messenger/FirewallPolicy.h"

#include "framework/LateLoad.h"

#include <windows.h>

#include <netfw.h>
#include <oleauto.h>

#include <functional>
#include <optional>
#include <vector>

namespace lv::messenger {

const wchar_t kFirewallRuleName[] = L"Lumivale 信使服务";

namespace {

using firewall::Rule;
using firewall::Snapshot;

constexpr long kProfileBits[3] = {NET_FW_PROFILE2_DOMAIN, NET_FW_PROFILE2_PRIVATE,
                                  NET_FW_PROFILE2_PUBLIC};
// A PC has some hundreds of rules; far more is no PC we can judge in time.
constexpr size_t kMostRules = 20000;
// Group policy's registry keys ([MS-GPFAS] 2.2).
const wchar_t kPolicyKey[] = L"SOFTWARE\\Policies\\Microsoft\\WindowsFirewall";
const wchar_t* const kPolicyProfiles[3] = {L"DomainProfile", L"PrivateProfile", L"PublicProfile"};
// The changes run in the installer's elevated step, where a user waits.
constexpr DWORD kChangeWithinMs = 30000;

// COM and BSTRs only for this: loaded on first use, so that neither program imports ole32
// and oleaut32 at start-up.
struct ComApi {
    decltype(&CoInitializeEx) initialize =
        LateFunctionAs<decltype(CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
    decltype(&CoUninitialize) uninitialize =
        LateFunctionAs<decltype(CoUninitialize)>(L"ole32.dll", "CoUninitialize");
    decltype(&CoCreateInstance) create =
        LateFunctionAs<decltype(CoCreateInstance)>(L"ole32.dll", "CoCreateInstance");
    decltype(&SysAllocString) allocString =
        LateFunctionAs<decltype(SysAllocString)>(L"oleaut32.dll", "SysAllocString");
    decltype(&SysFreeString) freeString =
        LateFunctionAs<decltype(SysFreeString)>(L"oleaut32.dll", "SysFreeString");
    decltype(&VariantClear) clearVariant =
        LateFunctionAs<decltype(VariantClear)>(L"oleaut32.dll", "VariantClear");

    bool Ready() const {
        return initialize && uninitialize && create && allocString && freeString && clearVariant;
    }
};

const ComApi& Com() {
    static const ComApi api;
    return api;
}

template <typename T> class ComPtr {
  public:
    ComPtr() = default;
    explicit ComPtr(T* p) : p_(p) {
        if (p_)
            p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (p_)
            p_->Release();
    }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    void** Out() { return reinterpret_cast<void**>(&p_); }
    T** Address() { return &p_; }

  private:
    T* p_ = nullptr;
};

class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text) : b_(Com().allocString(text.c_str())) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() {
        if (b_)
            Com().freeString(b_);
    }
    BSTR get() const { return b_; }
    BSTR* Out() { return &b_; }
    std::wstring Text() const { return b_ ? std::wstring(b_) : std::wstring(); }

  private:
    BSTR b_ = nullptr;
};

// COM for the calling thread while the object lives. A thread that already has another
// apartment keeps it; the firewall's objects live in either.
class Apartment {
  public:
    Apartment() : hr_(Com().initialize(nullptr, COINIT_MULTITHREADED)) {}
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment() {
        if (SUCCEEDED(hr_))
            Com().uninitialize();
    }
    bool Usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

  private:
    HRESULT hr_;
};

HRESULT OpenPolicy(ComPtr<INetFwPolicy2>& policy) {
    return Com().create(__uuidof(NetFwPolicy2), nullptr, CLSCTX_INPROC_SERVER,
                        __uuidof(INetFwPolicy2), policy.Out());
}

// The policy's rules, for the apartment the caller holds while it uses them.
HRESULT OpenRules(const Apartment& apartment, ComPtr<INetFwRules>& rules) {
    ComPtr<INetFwPolicy2> policy;
    HRESULT hr = apartment.Usable() ? OpenPolicy(policy) : CO_E_NOTINITIALIZED;
    if (SUCCEEDED(hr))
        hr = policy->get_Rules(rules.Address());
    if (SUCCEEDED(hr) && !rules.get())
        hr = E_POINTER;
    return hr;
}

std::wstring Text(const std::function<HRESULT(BSTR*)>& get) {
    Bstr b;
    return SUCCEEDED(get(b.Out())) ? b.Text() : std::wstring();
}

Rule ToRule(INetFwRule* r) {
    Rule rule;
    NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_IN;
    NET_FW_ACTION action = NET_FW_ACTION_ALLOW;
    VARIANT_BOOL enabled = VARIANT_TRUE;
    long profiles = NET_FW_PROFILE2_ALL, protocol = firewall::kAnyProtocol;
    r->get_Direction(&direction);
    r->get_Action(&action);
    r->get_Enabled(&enabled);
    r->get_Profiles(&profiles);
    r->get_Protocol(&protocol);
    rule.inbound = direction == NET_FW_RULE_DIR_IN;
    rule.allow = action == NET_FW_ACTION_ALLOW;
    rule.enabled = enabled != VARIANT_FALSE;
    rule.profiles = profiles;
    rule.protocol = static_cast<int>(protocol);
    if (!rule.inbound)
        return rule; // the rest is never looked at
    rule.name = Text([r](BSTR* b) { return r->get_Name(b); });
    rule.program = Text([r](BSTR* b) { return r->get_ApplicationName(b); });
    rule.service = Text([r](BSTR* b) { return r->get_ServiceName(b); });
    rule.remoteAddresses = Text([r](BSTR* b) { return r->get_RemoteAddresses(b); });
    if (rule.protocol == NET_FW_IP_PROTOCOL_TCP || rule.protocol == NET_FW_IP_PROTOCOL_UDP)
        rule.localPorts = Text([r](BSTR* b) { return r->get_LocalPorts(b); });
    return rule;
}

// Calls `visit` with every rule of the local store; an error when they cannot all be read
// before `end` (GetTickCount64).
HRESULT EachRule(INetFwRules* rules, ULONGLONG end,
                 const std::function<void(INetFwRule*, const Rule&)>& visit) {
    ComPtr<IUnknown> unknown;
    HRESULT hr = rules->get__NewEnum(unknown.Address());
    if (FAILED(hr))
        return hr;
    if (!unknown.get())
        return E_POINTER;
    ComPtr<IEnumVARIANT> each;
    hr = unknown->QueryInterface(__uuidof(IEnumVARIANT), each.Out());
    if (FAILED(hr))
        return hr;
    size_t seen = 0;
    for (;;) {
        VARIANT items[64];
        for (VARIANT& v : items)
            v.vt = VT_EMPTY;
        ULONG got = 0;
        hr = each->Next(64, items, &got);
        if (FAILED(hr))
            return hr;
        for (ULONG i = 0; i < got; ++i) {
            ComPtr<INetFwRule> rule;
            if (items[i].vt == VT_DISPATCH && items[i].pdispVal &&
                SUCCEEDED(items[i].pdispVal->QueryInterface(__uuidof(INetFwRule), rule.Out())))
                visit(rule.get(), ToRule(rule.get()));
            Com().clearVariant(&items[i]);
        }
        seen += got;
        if (hr == S_FALSE || got == 0)
            return S_OK;
        if (seen > kMostRules || GetTickCount64() > end)
            return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    }
}

std::vector<std::pair<std::wstring, std::wstring>> MachineVariables() {
    // The ones that name the same folder for every account, the service's included.
    static const wchar_t* const kNames[] = {
        L"SystemRoot",         L"windir",       L"SystemDrive",        L"ProgramFiles",
        L"ProgramFiles(x86)",  L"ProgramW6432", L"CommonProgramFiles", L"CommonProgramFiles(x86)",
        L"CommonProgramW6432", L"ProgramData",  L"ALLUSERSPROFILE",    L"PUBLIC"};
    std::vector<std::pair<std::wstring, std::wstring>> variables;
    for (const wchar_t* name : kNames) {
        wchar_t value[MAX_PATH];
        DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
        if (n > 0 && n < MAX_PATH)
            variables.emplace_back(name, std::wstring(value, n));
    }
    return variables;
}

class RegKey {
  public:
    RegKey(HKEY root, const std::wstring& path) {
        if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key_) !=
            ERROR_SUCCESS)
            key_ = nullptr;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (key_)
            RegCloseKey(key_);
    }
    HKEY get() const { return key_; }

    std::optional<bool> Flag(const wchar_t* name) const {
        DWORD value = 0, size = sizeof value, type = 0;
        if (!key_ ||
            RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD)
            return std::nullopt;
        return value != 0;
    }

  private:
    HKEY key_ = nullptr;
};

// Group policy's settings and rules, where it sets any.
void ReadGroupPolicy(Snapshot& s) {
    const std::wstring root = kPolicyKey;
    for (int i = 0; i < 3; ++i) {
        RegKey profile(HKEY_LOCAL_MACHINE, root + L"\\" + kPolicyProfiles[i]);
        firewall::PolicySettings& p = s.policy[i];
        p.enabled = profile.Flag(L"EnableFirewall");
        p.blockAllInbound = profile.Flag(L"DoNotAllowExceptions");
        p.defaultBlock = profile.Flag(L"DefaultInboundAction"); // 1: block
        p.localRules = profile.Flag(L"AllowLocalPolicyMerge");
    }
    RegKey rules(HKEY_LOCAL_MACHINE, root + L"\\FirewallRules");
    if (!rules.get())
        return;
    std::vector<wchar_t> name(16384), data(16384);
    for (DWORD index = 0; index < kMostRules; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataBytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        DWORD type = 0;
        LONG result = RegEnumValueW(rules.get(), index, name.data(), &nameLength, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data.data()), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue; // longer than any rule, or not one
        std::wstring text(data.data(), dataBytes / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        if (auto rule = firewall::ParsePolicyRule(text))
            s.rules.push_back(std::move(*rule));
    }
}

// A rule that may share its name with another (Windows names the block rules it makes after
// the program, and another user's copy of our rule has our name): renamed to a name of its
// own first, because the collection removes by name.
HRESULT TakeAway(INetFwRules* rules, INetFwRule* rule, int serial) {
    Bstr unique(L"Lumivale: removing " + std::to_wstring(GetCurrentProcessId()) + L"." +
                std::to_wstring(serial));
    HRESULT hr = rule->put_Name(unique.get());
    return FAILED(hr) ? hr : rules->Remove(unique.get());
}

// Our rule for `program` taken out of the local store, and with `blockRulesToo` every
// inbound block rule that names it.
void TakeAwayRules(INetFwRules* rules, const std::wstring& program, bool blockRulesToo,
                   FirewallChange& change) {
    std::vector<std::pair<std::wstring, std::wstring>> variables = MachineVariables();
    std::vector<ComPtr<INetFwRule>> doomed;
    HRESULT hr =
        EachRule(rules, GetTickCount64() + kChangeWithinMs, [&](INetFwRule* r, const Rule& rule) {
            bool ours = rule.name == kFirewallRuleName;
            if (rule.inbound && (ours || (blockRulesToo && !rule.allow)) && !rule.program.empty() &&
                firewall::SameProgram(rule.program, program, variables))
                doomed.emplace_back(r);
        });
    if (FAILED(hr))
        change.result = hr;
    for (const ComPtr<INetFwRule>& rule : doomed) {
        hr = TakeAway(rules, rule.get(), change.removed + 1);
        if (SUCCEEDED(hr))
            ++change.removed;
        else if (SUCCEEDED(change.result))
            change.result = hr;
    }
}

} // namespace

Snapshot ReadFirewall(DWORD milliseconds) {
    Snapshot s;
    if (!Com().Ready())
        return s;
    const ULONGLONG end = GetTickCount64() + milliseconds;
    Apartment apartment;
    ComPtr<INetFwPolicy2> policy;
    long current = 0;
    if (!apartment.Usable() || FAILED(OpenPolicy(policy)) ||
        FAILED(policy->get_CurrentProfileTypes(&current)))
        return s;
    s.currentProfiles = current;
    for (int i = 0; i < 3; ++i) {
        auto type = static_cast<NET_FW_PROFILE_TYPE2>(kProfileBits[i]);
        VARIANT_BOOL on = VARIANT_TRUE, shieldsUp = VARIANT_FALSE;
        NET_FW_ACTION action = NET_FW_ACTION_BLOCK;
        if (FAILED(policy->get_FirewallEnabled(type, &on)) ||
            FAILED(policy->get_BlockAllInboundTraffic(type, &shieldsUp)) ||
            FAILED(policy->get_DefaultInboundAction(type, &action)))
            return s;
        s.local[i] = {on != VARIANT_FALSE, shieldsUp != VARIANT_FALSE,
                      action == NET_FW_ACTION_BLOCK};
    }
    NET_FW_MODIFY_STATE state = NET_FW_MODIFY_STATE_OK;
    if (SUCCEEDED(policy->get_LocalPolicyModifyState(&state)))
        s.localRulesOverridden = state == NET_FW_MODIFY_STATE_GP_OVERRIDE;
    ComPtr<INetFwRules> rules;
    if (FAILED(policy->get_Rules(rules.Address())) || !rules.get() ||
        FAILED(EachRule(rules.get(), end, [&s](INetFwRule*, const Rule& rule) {
            if (rule.inbound)
                s.rules.push_back(rule);
        })))
        return s;
    ReadGroupPolicy(s);
    s.machineVariables = MachineVariables();
    s.known = true;
    return s;
}

FirewallChange AllowThroughFirewall(const std::wstring& program, bool publicToo) {
    FirewallChange change;
    if (!Com().Ready()) {
        change.result = E_NOINTERFACE;
        return change;
    }
    Apartment apartment;
    ComPtr<INetFwRules> rules;
    if (HRESULT hr = OpenRules(apartment, rules); FAILED(hr)) {
        change.result = hr;
        return change;
    }
    // Block rules first: one of them would beat the allow rule. Not being able to read them
    // is no reason to leave the allow rule out.
    TakeAwayRules(rules.get(), program, true, change);
    ComPtr<INetFwRule> rule;
    HRESULT hr = Com().create(__uuidof(NetFwRule), nullptr, CLSCTX_INPROC_SERVER,
                              __uuidof(INetFwRule), rule.Out());
    Bstr name(kFirewallRuleName), path(program), group(L"Lumivale"),
        description(L"让其他电脑发来的信息（Lumivale、Samba、旧版Windows，TCP 1139和139）到达"
                    L"msgsvc.exe。由Lumivale安装程序添加，卸载时删除。");
    long profiles =
        NET_FW_PROFILE2_DOMAIN | NET_FW_PROFILE2_PRIVATE | (publicToo ? NET_FW_PROFILE2_PUBLIC : 0);
    if (SUCCEEDED(hr))
        hr = rule->put_Name(name.get());
    if (SUCCEEDED(hr))
        hr = rule->put_Description(description.get());
    if (SUCCEEDED(hr))
        hr = rule->put_ApplicationName(path.get());
    if (SUCCEEDED(hr))
        hr = rule->put_Protocol(NET_FW_IP_PROTOCOL_TCP);
    if (SUCCEEDED(hr))
        hr = rule->put_Direction(NET_FW_RULE_DIR_IN);
    if (SUCCEEDED(hr))
        hr = rule->put_Action(NET_FW_ACTION_ALLOW);
    if (SUCCEEDED(hr))
        hr = rule->put_Profiles(profiles);
    if (SUCCEEDED(hr))
        hr = rule->put_Grouping(group.get());
    if (SUCCEEDED(hr))
        hr = rule->put_Enabled(VARIANT_TRUE);
    if (SUCCEEDED(hr))
        hr = rules->Add(rule.get());
    change.added = SUCCEEDED(hr);
    if (FAILED(hr))
        change.result = hr;
    return change;
}

FirewallChange RemoveFromFirewall(const std::wstring& program) {
    FirewallChange change;
    if (!Com().Ready()) {
        change.result = E_NOINTERFACE;
        return change;
    }
    Apartment apartment;
    ComPtr<INetFwRules> rules;
    if (HRESULT hr = OpenRules(apartment, rules); FAILED(hr))
        change.result = hr;
    else
        TakeAwayRules(rules.get(), program, false, change);
    return change;
}

HRESULT FindFirewallRule(const std::wstring& program) {
    if (!Com().Ready())
        return E_NOINTERFACE;
    Apartment apartment;
    ComPtr<INetFwRules> rules;
    HRESULT hr = OpenRules(apartment, rules);
    if (FAILED(hr))
        return hr;
    std::vector<std::pair<std::wstring, std::wstring>> variables = MachineVariables();
    bool found = false;
    hr = EachRule(rules.get(), GetTickCount64() + kChangeWithinMs,
                  [&](INetFwRule*, const Rule& rule) {
                      found = found || (rule.inbound && rule.name == kFirewallRuleName &&
                                        firewall::SameProgram(rule.program, program, variables));
                  });
    if (FAILED(hr))
        return hr;
    return found ? S_OK : S_FALSE;
}

} // namespace lv::messenger
