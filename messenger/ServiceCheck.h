#pragma once
// Whether a message sent to this machine would reach msgsvc.exe, found out the honest way:
// through the machine's own addresses, as a peer would come. A bind that succeeds proves
// nothing on Windows, where NetBIOS holds each adapter's address on 139 more specifically
// than msgsvc.exe's wildcard, and takes what arrives there.
#include "messenger/ServiceReport.h"
#include "messenger/msgsvc/ServiceConfig.h"

#include <cstdint>
#include <vector>

namespace lv::messenger {

// A NetBIOS session request to a made-up name on address:port (host order), answered
// positively within `timeoutMs`. msgsvc.exe answers every name so; NetBIOS itself refuses
// a name nobody registered, and a program that is no messenger gives no such answer.
bool MessengerAnswers(uint32_t address, uint16_t port, unsigned timeoutMs);

// Where peers' messages come to, host order: the configured address, or for 0.0.0.0 every
// address the machine's name has, and last 127.0.0.1.
std::vector<uint32_t> ArrivalAddresses(const ServiceConfig& config);

// The Winsock error of an exclusive bind to address:port (host order); 0 when it could be
// had (and was let go at once).
int BindError(uint32_t address, uint16_t port);

// `port` probed at every address: reached only when msgsvc.exe answers at all of them.
// When not, `classify` lets the reason come from a bind of our own (only once msgsvc.exe
// is known not to be trying that port itself); otherwise it is why::kNoAnswer.
PortFacts ProbePort(const std::vector<uint32_t>& addresses, uint32_t configured, uint16_t port,
                    bool classify);

} // namespace lv::messenger
