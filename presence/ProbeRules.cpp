#include "presence/ProbeRules.h"

#include "framework/Ipv4.h"

namespace lv::presence {

ProbeTarget ClassifyAddress(std::string_view text) {
    if (std::optional<uint32_t> address = ParseIpv4(text)) {
        if (!MayProbe(*address))
            return {};
        return {ProbeTarget::Kind::Address, *address};
    }
    // Digits and dots are never a computer name: a name lookup would read "10.1" the
    // inet_addr way, as 10.0.0.1.
    if (text.empty() || LooksNumeric(text))
        return {};
    return {ProbeTarget::Kind::ComputerName, 0};
}

bool MayProbe(uint32_t address) {
    const bool broadcast = address == 0xFFFFFFFFu;
    const bool multicast = (address >> 28) == 0xE;
    return !broadcast && !multicast;
}

ProbeWay ChooseProbeWay(const ProbeFacts& facts) {
    if (facts.rawSendError == 0 && facts.rawReceiveError == 0)
        return ProbeWay::RawSocket;
    if (!facts.helper)
        return ProbeWay::IcmpHelper;
    const HelperOutcome& helper = *facts.helper;
    if (!helper.opened || (helper.refused > 0 && helper.accepted == 0))
        return ProbeWay::Neither;
    return ProbeWay::IcmpHelper;
}

bool HelperRefusal(uint32_t win32Error) {
    constexpr uint32_t kAccessDenied = 5;  // ERROR_ACCESS_DENIED
    constexpr uint32_t kNotSupported = 50; // ERROR_NOT_SUPPORTED
    return win32Error == kAccessDenied || win32Error == kNotSupported;
}

size_t AnswerBook::Sent(uint32_t destination, std::string addressText, ProbeTarget::Kind kind) {
    // A friend recorded by address is reported by the answer's own text, as the answer
    // would have been without the book.
    std::string reportAs =
        kind == ProbeTarget::Kind::ComputerName ? std::move(addressText) : FormatIpv4(destination);
    requests_.push_back({destination, std::move(reportAs)});
    return requests_.size() - 1;
}

std::string AnswerBook::Answered(uint32_t source, std::optional<size_t> request) {
    if (request && *request < requests_.size() && requests_[*request].destination == source) {
        requests_[*request].answered = true;
        return requests_[*request].reportAs;
    }
    for (Request& waiting : requests_) {
        if (waiting.destination == source && !waiting.answered) {
            waiting.answered = true;
            return waiting.reportAs;
        }
    }
    return FormatIpv4(source);
}

} // namespace lv::presence
