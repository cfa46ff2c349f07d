#include "messenger/NetBios.h"

#include "framework/Gbk.h"

#include <algorithm>

namespace lv::messenger {

std::string NetBiosName(std::string_view name, uint8_t suffix) {
    std::string out;
    for (size_t i = 0; i < name.size();) {
        auto c = static_cast<unsigned char>(name[i]);
        size_t width = GbkCharacterBytes(name, i);
        if (out.size() + width > kNetBiosNameBytes - 1)
            break;
        if (width == 1 && c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>(c - 'a' + 'A');
        out += static_cast<char>(c);
        if (width == 2)
            out += name[i + 1];
        i += width;
    }
    out.resize(kNetBiosNameBytes - 1, ' ');
    out += static_cast<char>(suffix);
    return out;
}

std::string EncodeNetBiosName(std::string_view name, uint8_t suffix) {
    std::string raw = NetBiosName(name, suffix);
    std::string out(1, '\x20');
    for (char ch : raw) {
        auto b = static_cast<unsigned char>(ch);
        out += static_cast<char>('A' + (b >> 4));
        out += static_cast<char>('A' + (b & 0x0F));
    }
    out += '\0';
    return out;
}

std::optional<DecodedName> DecodeNetBiosName(std::string_view wire) {
    if (wire.size() < kEncodedNameBytes || wire[0] != '\x20')
        return std::nullopt;
    std::string raw;
    for (size_t i = 0; i < kNetBiosNameBytes; ++i) {
        char hi = wire[1 + 2 * i];
        char lo = wire[2 + 2 * i];
        if (hi < 'A' || hi > 'P' || lo < 'A' || lo > 'P')
            return std::nullopt;
        raw += static_cast<char>(((hi - 'A') << 4) | (lo - 'A'));
    }
    // A scope, when present, follows as length-prefixed labels up to a zero byte.
    size_t pos = 1 + 2 * kNetBiosNameBytes;
    while (true) {
        if (pos >= wire.size())
            return std::nullopt;
        auto label = static_cast<unsigned char>(wire[pos]);
        if (label == 0)
            break;
        if (label > 63 || pos + 1 + label > wire.size())
            return std::nullopt;
        pos += 1 + label;
    }
    DecodedName out;
    out.suffix = static_cast<uint8_t>(raw.back());
    raw.pop_back();
    while (!raw.empty() && raw.back() == ' ')
        raw.pop_back();
    out.name = std::move(raw);
    out.wireBytes = pos + 1;
    return out;
}

std::optional<SessionHeader> ParseSessionHeader(std::string_view bytes) {
    if (bytes.size() < kSessionHeaderBytes)
        return std::nullopt;
    auto b = [&](size_t i) { return static_cast<size_t>(static_cast<unsigned char>(bytes[i])); };
    SessionHeader h;
    h.type = static_cast<uint8_t>(b(0));
    h.length = ((b(1) & 1) << 16) | (b(2) << 8) | b(3);
    return h;
}

std::string SessionFrame(uint8_t type, std::string_view payload) {
    size_t n = payload.size();
    std::string out;
    out.reserve(kSessionHeaderBytes + n);
    out += static_cast<char>(type);
    out += static_cast<char>((n >> 16) & 1);
    out += static_cast<char>((n >> 8) & 0xFF);
    out += static_cast<char>(n & 0xFF);
    out.append(payload);
    return out;
}

std::string SessionRequest(std::string_view calledWire, std::string_view callingWire) {
    std::string payload(calledWire);
    payload.append(callingWire);
    return SessionFrame(session::kRequest, payload);
}

FrameReader::Result FrameReader::Next(std::string_view& input, std::string& frame) {
    if (pending_.size() < kSessionHeaderBytes) {
        size_t take = std::min(kSessionHeaderBytes - pending_.size(), input.size());
        pending_.append(input.substr(0, take));
        input.remove_prefix(take);
        if (pending_.size() < kSessionHeaderBytes)
            return Result::kNeedMore;
    }
    size_t total = kSessionHeaderBytes + ParseSessionHeader(pending_)->length;
    if (total > maxFrameBytes_)
        return Result::kTooLarge;
    size_t take = std::min(total - pending_.size(), input.size());
    pending_.append(input.substr(0, take));
    input.remove_prefix(take);
    if (pending_.size() < total)
        return Result::kNeedMore;
    frame = std::move(pending_);
    pending_.clear();
    return Result::kFrame;
}

} // namespace lv::messenger
