#pragma once
// The presence query's decisions, without sockets: what a friend's address text asks for,
// which way the echo requests go, and under which address text an answer is reported.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lv::presence {

// What the query does with a friend's address text.
struct ProbeTarget {
    enum class Kind {
        // An IPv4 address by the one rule (framework/Ipv4.h): probed there.
        Address,
        // A computer name: looked up first, probed at the address it has.
        ComputerName,
        // Empty, digits and dots that are no address (10.1), or an address where any
        // number of machines would answer: not probed.
        Nothing,
    };
    Kind kind = Kind::Nothing;
    // Kind::Address: the destination, first field in the high byte.
    uint32_t address = 0;
};
ProbeTarget ClassifyAddress(std::string_view text);

// False for the addresses the query never sends to, whoever names them (a typed address or
// the result of a name lookup): the all-ones broadcast and the multicast groups.
bool MayProbe(uint32_t address);

// The two ways to send echo requests. The raw ICMP socket needs administrator rights on
// Windows (WSAEACCES otherwise, also for an administrator without elevation); the ICMP
// helper (IcmpCreateFile, IcmpSendEcho2) needs none.
enum class ProbeWay { RawSocket, IcmpHelper, Neither };

// What became of the helper's requests in one query.
struct HelperOutcome {
    // IcmpCreateFile gave a handle.
    bool opened = false;
    // Requests the system refused for want of rights (HelperRefusal), and requests it
    // took: answered, timed out, unreachable and the like.
    int refused = 0;
    int accepted = 0;
};

struct ProbeFacts {
    // WSAGetLastError after the controller's raw socket: 0 when it opened.
    int rawSendError = 0;
    // The same for the receiving worker's raw socket: 0 when it opened or is not known yet.
    int rawReceiveError = 0;
    // Once the helper has been tried.
    std::optional<HelperOutcome> helper;
};

// The raw socket while both of its sockets opened (it is the way the query has always
// probed); the helper as soon as either was refused, for whatever reason -- the helper
// does not use Windows Sockets, so none of their errors says it would fail too. Neither
// when the helper could not be opened, or the system refused its requests and took none
// (Wine for a user outside net.ipv4.ping_group_range): only then is the user told
// ("出错！"). A helper nobody has asked anything of yet counts as one that can send.
ProbeWay ChooseProbeWay(const ProbeFacts& facts);

// Whether a helper request that failed with this Win32 error (IcmpSendEcho2's, or the
// status its APC brings) says the helper may not send at all, rather than that this one
// destination cannot be reached.
bool HelperRefusal(uint32_t win32Error);

// Which friend an answer belongs to. Requests are written down in the order they are sent;
// an answer from address X takes the first request to X that has no answer yet (or the
// request it is known to answer) and is reported under that request's address text:
// a friend recorded by computer name under its own name, a friend recorded by address
// under the answer's dotted text, as ever (so "192.168.000.005" is probed but not
// reported, and two entries with the same address both report the first one's name).
// An answer no request is waiting for is reported under its dotted text too.
class AnswerBook {
  public:
    // The request's number.
    size_t Sent(uint32_t destination, std::string addressText, ProbeTarget::Kind kind);
    // The address text the answer's line is looked up by (MainHub::AddFriendStatusLine).
    std::string Answered(uint32_t source, std::optional<size_t> request = std::nullopt);
    size_t Count() const { return requests_.size(); }

  private:
    struct Request {
        uint32_t destination;
        std::string reportAs;
        bool answered = false;
    };
    std::vector<Request> requests_;
};

} // namespace lv::presence
