// Whether Windows Defender Firewall lets peers reach msgsvc.exe, over the states Windows
// PCs are really in: the block rules a dismissed prompt leaves, an allow rule for one
// network profile while another is in force, port rules, the firewall off, shields up, and
// group policy (its own rules, paths with variables, local rules not merged).
#include "messenger/Firewall.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <functional>

namespace {

using namespace lv::messenger::firewall;
using State = Verdict::State;

const std::wstring kProgram = L"C:\\Users\\Bob\\AppData\\Local\\Lumivale\\msgsvc.exe";
const std::vector<uint16_t> kPorts = {1139, 139};

Snapshot Fresh(long current = kPrivate) {
    Snapshot s;
    s.known = true;
    s.currentProfiles = current;
    s.machineVariables = {{L"SystemDrive", L"C:"}, {L"SystemRoot", L"C:\\Windows"}};
    return s;
}

Rule ProgramRule(bool allow, long profiles, int protocol = kTcp) {
    Rule r;
    r.allow = allow;
    r.profiles = profiles;
    r.protocol = protocol;
    r.program = kProgram;
    return r;
}

Rule PortRule(const wchar_t* ports, long profiles = kAllProfiles) {
    Rule r;
    r.protocol = kTcp;
    r.localPorts = ports;
    r.profiles = profiles;
    return r;
}

// What Windows leaves when its prompt is dismissed, or never shown to a standard user: a
// block rule for TCP and one for UDP, named after the program, its path as the file has it.
std::vector<Rule> DismissedPrompt(long profiles) {
    Rule tcp = ProgramRule(false, profiles), udp = ProgramRule(false, profiles, 17);
    tcp.name = udp.name = L"msgsvc.exe";
    tcp.program = udp.program = L"c:\\users\\bob\\appdata\\local\\lumivale\\msgsvc.exe";
    return {tcp, udp};
}

// The installer's rule.
Rule InstallersRule(long profiles = kDomain | kPrivate) {
    Rule r = ProgramRule(true, profiles);
    r.name = L"Lumivale 信使服务";
    return r;
}

struct Case {
    const char* what;
    std::function<void(Snapshot&)> set;
    State state;
    Why why = Why::kNone;
    long blocked = 0;
    bool byPolicy = false;
};

TEST(FirewallVerdict, TheStatesWindowsPcsAreIn) {
    const Case cases[] = {
        {"a fresh PC: no rule, default block", [](Snapshot&) {}, State::kBlocked, Why::kNoAllowRule,
         kPrivate},
        {"the installer's rule on a private network",
         [](Snapshot& s) { s.rules = {InstallersRule()}; }, State::kOpen},
        {"a dismissed prompt's block rules beat the installer's allow rule",
         [](Snapshot& s) {
             s.rules = DismissedPrompt(kPrivate);
             s.rules.push_back(InstallersRule());
         },
         State::kBlocked, Why::kBlockRule, kPrivate},
        {"block rules for the public network only, on a private one",
         [](Snapshot& s) {
             s.rules = DismissedPrompt(kPublic);
             s.rules.push_back(InstallersRule());
         },
         State::kOpen},
        {"a UDP allow rule carries no TCP",
         [](Snapshot& s) { s.rules = {ProgramRule(true, kPrivate, 17)}; }, State::kBlocked,
         Why::kNoAllowRule, kPrivate},
        {"an allow rule for private networks while the network is public",
         [](Snapshot& s) {
             s.currentProfiles = kPublic;
             s.rules = {ProgramRule(true, kPrivate)};
         },
         State::kBlocked, Why::kOtherProfile, kPublic},
        {"two networks in force: stopped on the one the rule leaves out",
         [](Snapshot& s) {
             s.currentProfiles = kDomain | kPublic;
             s.rules = {InstallersRule()};
         },
         State::kBlocked, Why::kOtherProfile, kPublic},
        {"NET_FW_PROFILE2_ALL takes in the public network",
         [](Snapshot& s) {
             s.currentProfiles = kPublic;
             s.rules = {ProgramRule(true, kAllProfiles)};
         },
         State::kOpen},
        {"a port rule for both ports, any program",
         [](Snapshot& s) { s.rules = {PortRule(L"139,1139")}; }, State::kOpen},
        {"one open port is enough (peers try both)",
         [](Snapshot& s) { s.rules = {PortRule(L"1139")}; }, State::kOpen},
        {"a rule for other ports", [](Snapshot& s) { s.rules = {PortRule(L"445")}; },
         State::kBlocked, Why::kNoAllowRule, kPrivate},
        {"Windows' own 139 rule is for System, not msgsvc.exe",
         [](Snapshot& s) {
             Rule r = PortRule(L"139");
             r.program = L"System";
             s.rules = {r};
         },
         State::kBlocked, Why::kNoAllowRule, kPrivate},
        {"a service's rule is no program's",
         [](Snapshot& s) {
             Rule r = PortRule(L"1139");
             r.service = L"lanmanserver";
             s.rules = {r};
         },
         State::kBlocked, Why::kNoAllowRule, kPrivate},
        {"any protocol takes every port",
         [](Snapshot& s) { s.rules = {ProgramRule(true, kPrivate, kAnyProtocol)}; }, State::kOpen},
        {"a disabled rule and an outbound one count for nothing",
         [](Snapshot& s) {
             Rule off = InstallersRule(), out = InstallersRule();
             off.enabled = false;
             out.inbound = false;
             s.rules = {off, out};
         },
         State::kBlocked, Why::kNoAllowRule, kPrivate},
        {"a block rule for a few remote addresses stops not every peer",
         [](Snapshot& s) {
             Rule block = ProgramRule(false, kAllProfiles);
             block.remoteAddresses = L"203.0.113.0/255.255.255.0";
             s.rules = {block, InstallersRule()};
         },
         State::kOpen},
        {"a block rule for the port and every program",
         [](Snapshot& s) {
             Rule block = PortRule(L"Any");
             block.allow = false;
             s.rules = {block, InstallersRule()};
         },
         State::kBlocked, Why::kBlockRule, kPrivate},
        {"the firewall off for the network in force",
         [](Snapshot& s) {
             s.local[1].enabled = false;
             s.rules = DismissedPrompt(kAllProfiles);
         },
         State::kOpen},
        {"off for another network only", [](Snapshot& s) { s.local[0].enabled = false; },
         State::kBlocked, Why::kNoAllowRule, kPrivate},
        {"default inbound action allow", [](Snapshot& s) { s.local[1].defaultBlock = false; },
         State::kOpen},
        {"shields up stops even allowed programs",
         [](Snapshot& s) {
             s.local[1].blockAllInbound = true;
             s.rules = {InstallersRule()};
         },
         State::kBlocked, Why::kBlockAll, kPrivate},
        {"shields up set by group policy",
         [](Snapshot& s) {
             s.policy[1].blockAllInbound = true;
             s.rules = {InstallersRule()};
         },
         State::kBlocked, Why::kBlockAll, kPrivate, true},
        {"policy switches the firewall on over a local off",
         [](Snapshot& s) {
             s.local[1].enabled = false;
             s.policy[1].enabled = true;
         },
         State::kBlocked, Why::kNoAllowRule, kPrivate},
        {"local rules not merged: the installer's rule does not count",
         [](Snapshot& s) {
             s.currentProfiles = kDomain;
             s.policy[0].localRules = false;
             s.rules = {InstallersRule()};
         },
         State::kBlocked, Why::kLocalRulesIgnored, kDomain, true},
        {"... nor does a local block rule, while policy's allow rule does",
         [](Snapshot& s) {
             s.currentProfiles = kDomain;
             s.policy[0].localRules = false;
             s.rules = DismissedPrompt(kAllProfiles);
             Rule r = ProgramRule(true, kDomain);
             r.fromPolicy = true;
             s.rules.push_back(r);
         },
         State::kOpen},
        {"LocalPolicyModifyState says policy overrides the local rules",
         [](Snapshot& s) {
             s.localRulesOverridden = true;
             s.rules = {InstallersRule()};
         },
         State::kBlocked, Why::kLocalRulesIgnored, kPrivate, true},
        {"no allow rule anywhere, local rules not merged: only IT can open it",
         [](Snapshot& s) { s.policy[1].localRules = false; }, State::kBlocked, Why::kNoAllowRule,
         kPrivate, true},
        {"policy's block rule",
         [](Snapshot& s) {
             Rule block = ProgramRule(false, kAllProfiles);
             block.fromPolicy = true;
             s.rules = {block, InstallersRule()};
         },
         State::kBlocked, Why::kBlockRule, kPrivate, true},
        {"policy's rule with %USERPROFILE%: the service expands it as LocalService",
         [](Snapshot& s) {
             Rule r = ProgramRule(true, kAllProfiles);
             r.program = L"%USERPROFILE%\\AppData\\Local\\Lumivale\\msgsvc.exe";
             r.fromPolicy = true;
             s.rules = {r};
         },
         State::kBlocked, Why::kOtherPath, kPrivate},
        {"policy's rule with a machine-wide variable, another case, forward slashes",
         [](Snapshot& s) {
             Rule r = ProgramRule(true, kAllProfiles);
             r.program = L"%systemdrive%/USERS/bob/AppData/Local/Lumivale/MSGSVC.EXE";
             r.fromPolicy = true;
             s.rules = {r};
         },
         State::kOpen},
        {"a rule for the copy in another folder",
         [](Snapshot& s) {
             Rule r = InstallersRule();
             r.program = L"D:\\Lumivale\\msgsvc.exe";
             s.rules = {r};
         },
         State::kBlocked, Why::kOtherPath, kPrivate},
        {"authenticated connections only",
         [](Snapshot& s) {
             Rule r = InstallersRule();
             r.secure = true;
             s.rules = {r};
         },
         State::kBlocked, Why::kNoAllowRule, kPrivate},
    };
    for (const Case& c : cases) {
        Snapshot s = Fresh();
        c.set(s);
        Verdict v = Judge(s, kProgram, kPorts);
        EXPECT_EQ(v.state, c.state) << c.what;
        EXPECT_EQ(v.why, c.why) << c.what;
        EXPECT_EQ(v.blockedProfiles, c.blocked) << c.what;
        EXPECT_EQ(v.byPolicy, c.byPolicy) << c.what;
    }
}

TEST(FirewallVerdict, NothingIsClaimedWithoutAReading) {
    Snapshot unread;
    unread.currentProfiles = kPrivate;
    EXPECT_EQ(Judge(unread, kProgram, kPorts).state, State::kUnknown);
    EXPECT_EQ(Judge(Fresh(0), kProgram, kPorts).state, State::kUnknown);
    EXPECT_EQ(Judge(Fresh(), kProgram, {}).state, State::kUnknown);
}

TEST(FirewallVerdict, TheMostTellingReasonIsSaid) {
    // Private: a block rule; public: only the private network's allow rule.
    Snapshot s = Fresh(kPrivate | kPublic);
    s.rules = DismissedPrompt(kPrivate);
    s.rules.push_back(ProgramRule(true, kPrivate));
    Verdict v = Judge(s, kProgram, kPorts);
    EXPECT_EQ(v.blockedProfiles, kPrivate | kPublic);
    EXPECT_EQ(v.why, Why::kBlockRule);

    // A rule for msgsvc.exe by a path the service cannot expand: that path is named.
    Rule other = InstallersRule(kAllProfiles);
    other.program = L"%LOCALAPPDATA%\\Lumivale\\msgsvc.exe";
    s.rules = {other};
    EXPECT_EQ(Judge(s, kProgram, kPorts).otherPath, other.program);
}

TEST(FirewallRules, LocalPortsAsRulesWriteThem) {
    struct {
        const wchar_t* ports;
        uint16_t port;
        bool covered;
    } cases[] = {
        {L"", 1139, true},
        {L"*", 139, true},
        {L"Any", 139, true},
        {L"139,1139", 1139, true},
        {L" 139 , 1139 ", 139, true},
        {L"139,1139", 445, false},
        {L"1000-2000", 1139, true},
        {L"1000-2000", 139, false},
        {L"1139-1130", 1135, false},
        {L"139-139", 139, true},
        {L"RPC", 139, false},
        {L"RPC-EPMap", 139, false},
        {L"65536", 0, false},
        {L"1139x", 1139, false},
        {L"445,1100-1200", 1139, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PortsCover(c.ports, c.port), c.covered)
            << std::string(c.ports, c.ports + wcslen(c.ports));

    std::vector<std::pair<std::wstring, std::wstring>> vars = {{L"SystemRoot", L"C:\\Windows"}};
    EXPECT_EQ(ExpandRulePath(L"%systemroot%\\a.exe", vars), L"C:\\Windows\\a.exe");
    EXPECT_EQ(ExpandRulePath(L"%USERPROFILE%\\a.exe", vars), L"%USERPROFILE%\\a.exe");
    EXPECT_EQ(ExpandRulePath(L"%X%%SystemRoot%", vars), L"%X%C:\\Windows");
    EXPECT_EQ(ExpandRulePath(L"100%\\a.exe", vars), L"100%\\a.exe");
    EXPECT_TRUE(
        SameProgram(L"\"C:\\Users\\BOB\\AppData\\Local\\Lumivale\\msgsvc.exe\"", kProgram, vars));
    EXPECT_FALSE(
        SameProgram(L"C:\\Users\\Bob\\AppData\\Local\\Lumivale\\msgsvc.exe.bak", kProgram, vars));
}

TEST(FirewallRules, GroupPolicyRuleStrings) {
    // [MS-GPFAS] 4.2's example: a port keyword, two local address filters, authentication.
    auto example = ParsePolicyRule(
        L"v2.10|Action=Allow|Active=TRUE|Dir=In|Protocol=6|Profile=Public|LPort=RPC|RPort=49000|"
        L"LA4=192.168.1.0/255.255.255.0|RA4=LocalSubnet|RA6=LocalSubnet|App=c:\\path\\foo.exe|"
        L"Name=Firewall Rule Test|Security=Authenticate|Security2_9=An-NoEncap|");
    ASSERT_TRUE(example);
    EXPECT_TRUE(example->allow && example->enabled && example->inbound && example->fromPolicy);
    EXPECT_EQ(example->profiles, kPublic);
    EXPECT_EQ(example->protocol, kTcp);
    EXPECT_EQ(example->localPorts, L"RPC");
    EXPECT_EQ(example->remoteAddresses, L"LocalSubnet,LocalSubnet");
    EXPECT_EQ(example->program, L"c:\\path\\foo.exe");
    EXPECT_TRUE(example->secure);

    // How IT would write ours: two profiles, both ports, a variable in the path.
    auto ours =
        ParsePolicyRule(L"v2.30|Action=Allow|Active=TRUE|Dir=In|Protocol=6|Profile=Domain|"
                        L"Profile=Private|LPort=1139|LPort=139|LPort2_10=1180-1190|"
                        L"App=%USERPROFILE%\\AppData\\Local\\Lumivale\\msgsvc.exe|Name=Lumivale|");
    ASSERT_TRUE(ours);
    EXPECT_EQ(ours->profiles, kDomain | kPrivate);
    EXPECT_TRUE(PortsCover(ours->localPorts, 139) && PortsCover(ours->localPorts, 1185));
    EXPECT_FALSE(ours->secure);

    auto block = ParsePolicyRule(L"v2.26|Action=Block|Active=FALSE|Dir=In|Svc=lanmanserver|");
    ASSERT_TRUE(block);
    EXPECT_FALSE(block->allow || block->enabled);
    EXPECT_EQ(block->profiles, kAllProfiles);
    EXPECT_EQ(block->protocol, kAnyProtocol);
    EXPECT_EQ(block->service, L"lanmanserver");

    auto bypass = ParsePolicyRule(L"v2.10|Action=ByPass|Dir=In|");
    ASSERT_TRUE(bypass);
    EXPECT_TRUE(bypass->secure);
    EXPECT_FALSE(ParsePolicyRule(L"v2.10|Action=Allow|Dir=Out|")->inbound);

    for (const wchar_t* bad :
         {L"", L"Action=Allow|Dir=In|", L"v2.10|Dir=In|", L"v2.10|Action=Allow|",
          L"v2.10|Action=Maybe|Dir=In|", L"v2.10|Action=Allow|Dir=In|Protocol=x|"})
        EXPECT_FALSE(ParsePolicyRule(bad)) << std::string(bad, bad + wcslen(bad));
}

} // namespace
