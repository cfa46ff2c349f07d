#pragma once
// Windows Defender Firewall as it concerns msgsvc.exe: its state read for the verdict
// (messenger/Firewall.h) by any user, through INetFwPolicy2 and group policy's registry
// keys; and, with administrator rights, the rule that lets other computers reach msgsvc.exe,
// which the installer has `msgsvc.exe /firewall` add and remove.
#include "messenger/Firewall.h"

#include <windows.h>

#include <string>

namespace lv::messenger {

// The rule's name, as a user or IT finds it in the firewall's list.
extern const wchar_t kFirewallRuleName[];

// The firewall's state, read on the calling thread (COM in its own apartment) within about
// `milliseconds`; snapshot.known is false when it cannot be read in that time or at all: no
// firewall service, or Wine, whose INetFwPolicy2 has the interface but not its methods.
firewall::Snapshot ReadFirewall(DWORD milliseconds);

// What a change did, for msgsvc.exe's log.
struct FirewallChange {
    HRESULT result = S_OK; // the first failure, or S_OK
    int removed = 0;       // rules taken away
    bool added = false;
};

// Administrator rights only. Takes away the local store's inbound block rules that name
// `program` (a dismissed prompt's) and our rule for it, then adds our rule: inbound TCP for
// `program`, the domain and private profiles, and the public one when asked.
FirewallChange AllowThroughFirewall(const std::wstring& program, bool publicToo);
// Takes away our rule for `program`; another user's rule of the same name stays.
FirewallChange RemoveFromFirewall(const std::wstring& program);
// S_OK when our rule for `program` is there, S_FALSE when not, an error when the rules
// cannot be read. Any user may ask.
HRESULT FindFirewallRule(const std::wstring& program);

} // namespace lv::messenger
