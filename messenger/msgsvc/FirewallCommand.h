#pragma once
// msgsvc.exe /firewall allow PATH [public] | remove PATH | check PATH: how the installer lets
// other computers reach msgsvc.exe through Windows Firewall (messenger/FirewallPolicy.h).
// allow and remove need administrator rights, so the installer runs them elevated, with the
// path spelled out: an administrator who confirms for a standard user has other folders.
// check is for any user. Exit codes: 0 done (check: our rule is there), 5 the firewall could
// not be read or changed, 6 (check) no such rule, 7 a request not understood.
#include <functional>
#include <string>

namespace lv::messenger {

bool IsFirewallRequest(int argc, wchar_t** argv);

// Carries out the request; one line for msgsvc.exe's log says what was done.
int RunFirewallRequest(int argc, wchar_t** argv,
                       const std::function<void(const std::string&)>& log);

} // namespace lv::messenger
