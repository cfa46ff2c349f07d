#pragma once
// Our NetMessageBufferSend: the system call's signature and status codes, delivering the
// message itself over the Messenger wire protocol (no Messenger service is needed). Not
// declared by <lm.h>'s name on purpose: do not include <lm.h> beside this header.
#include <cstdint>
#include <string>
#include <string_view>

#include "messenger/SendReason.h"

// servername: null or empty (the local computer; anything else is not supported).
// msgname: the recipient, a dotted IPv4 address or a computer name.
// fromname: the sender's name; null or empty gives this computer's name.
// buf, buflen: UTF-16 text, up to its first null or buflen / 2 units.
// Returns 0 when every block was acknowledged, else a NERR_* or ERROR_* status.
// Safe to call from several threads at once.
unsigned long NetMessageBufferSend(const wchar_t* servername, const wchar_t* msgname,
                                   const wchar_t* fromname, const unsigned char* buf,
                                   unsigned long buflen);

namespace lv::messenger {

struct SendOptions {
    uint16_t port = 139;
    bool sessionRequest = true; // NetBIOS session first: what port 139 expects
    unsigned connectTimeoutMs = 3000;
    unsigned replyTimeoutMs = 5000;
    // 0: none. Connected to together with `port` and used when what answers there does not
    // take the message as a messenger (no session request on it unless it is 139).
    uint16_t fallbackPort = 0;
};

// The send itself: the status NetMessageBufferSend returns, with why. A computer name's
// IPv4 addresses are tried in the resolver's order until one takes the message; the lookup
// counts against the send's deadline and is given up at it.
SendResult NetMessageSend(const SendOptions& options, const wchar_t* msgname,
                          const wchar_t* fromname, const unsigned char* buf, unsigned long buflen);

// What the last NetMessageSend (through any of the calls here) on this thread came to;
// forgotten (status 0, no reason) by ForgetLastSendResult.
SendResult LastSendResult();
void ForgetLastSendResult();

// NetMessageBufferSend with the port and timeouts given instead of read from msgsvc.ini.
unsigned long NetMessageBufferSendWith(const SendOptions& options, const wchar_t* msgname,
                                       const wchar_t* fromname, const unsigned char* buf,
                                       unsigned long buflen);

// The longest a send with `options` takes, the name lookup included: a refused first try
// and its retry, each with its connect and replies. The fallback port and further addresses
// of a computer name add nothing to it: they are talked to within what is left.
unsigned long long SendDeadlineMs(const SendOptions& options);

// The options NetMessageBufferSend uses with the settings file at `iniPath` (missing file:
// port 139, fallback 1139).
SendOptions SendOptionsFromFile(const std::wstring& iniPath);

// msgsvc.ini in the folder of the running executable.
std::wstring SettingsFileBesideExe();

} // namespace lv::messenger
