// Group policy's firewall rule strings come from the registry, written by whatever tool IT
// uses: any text must parse or be refused without harm, and a rule that does not apply
// (disabled, outbound) must never change the verdict.
#include "messenger/Firewall.h"

#include <cstdlib>

using namespace lv::messenger::firewall;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text(data, data + size); // each byte one UTF-16 unit: rule strings are ASCII
    const std::wstring program = L"C:\\Users\\Bob\\AppData\\Local\\Lumivale\\msgsvc.exe";
    std::vector<std::pair<std::wstring, std::wstring>> variables = {{L"SystemDrive", L"C:"}};
    if (text.find(L'%') == std::wstring::npos && ExpandRulePath(text, variables) != text)
        abort();
    SameProgram(text, program, variables);
    for (uint16_t port : {0, 139, 1139, 65535})
        PortsCover(text, port);

    std::optional<Rule> rule = ParsePolicyRule(text);
    if (!rule)
        return 0;
    if (!rule->fromPolicy || rule->profiles == 0)
        abort();
    Snapshot s;
    s.known = true;
    s.currentProfiles = kDomain | kPrivate | kPublic;
    s.machineVariables = variables;
    Verdict without = Judge(s, program, {1139, 139});
    s.rules.push_back(*rule);
    Verdict with = Judge(s, program, {1139, 139});
    if (with.state == Verdict::State::kUnknown)
        abort();
    if ((!rule->enabled || !rule->inbound) &&
        (with.state != without.state || with.blockedProfiles != without.blockedProfiles))
        abort();
    return 0;
}
