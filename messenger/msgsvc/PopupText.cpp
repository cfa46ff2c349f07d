#include "messenger/msgsvc/PopupText.h"

#include "framework/Gbk.h"

#include <cstdio>

namespace lv::messenger {

namespace {

constexpr std::string_view kTo = "到 ";       // B5 BD 20: the capture's sender marker
constexpr std::string_view kWideBlank = "　"; // A1 A1
constexpr size_t kLogNameBytes = 64;

} // namespace

std::string WholeGbkCharacters(std::string_view text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        if (!IsGbkLeadByte(static_cast<unsigned char>(out[i])))
            continue;
        if (i + 1 < out.size() && IsGbkTrailByte(static_cast<unsigned char>(out[i + 1])))
            ++i; // the pair stays as it is
        else
            out[i] = '_';
    }
    return out;
}

std::string HeaderField(std::string_view field) {
    // Whole characters first: a lead byte before a control byte goes on its own, and the
    // '_' that replaces the control byte cannot become its trail.
    std::string out = WholeGbkCharacters(field);
    for (char& c : out) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            c = '_';
    }
    return out;
}

std::string HeaderSender(std::string_view sender) {
    // The header puts one blank after the sender, so a sender ending in "到" would end in
    // the marker too: look at the sender with that blank.
    std::string withBlank = HeaderField(sender) + " ";
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = withBlank.find(kTo, pos);
        if (hit == std::string::npos) {
            out.append(withBlank, pos, std::string::npos);
            break;
        }
        out.append(withBlank, pos, hit - pos);
        out.append(kTo.substr(0, 2));
        out.append(kWideBlank);
        pos = hit + kTo.size();
    }
    // The blank we added is either still last, or it became an ideographic blank that
    // stays as part of the name.
    if (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string LogName(std::string_view name) {
    std::string out = HeaderField(name);
    if (out.size() <= kLogNameBytes)
        return out;
    size_t cut = 0;
    while (cut < kLogNameBytes) {
        size_t step = IsGbkLeadByte(static_cast<unsigned char>(out[cut])) ? 2 : 1;
        if (cut + step > kLogNameBytes)
            break;
        cut += step;
    }
    return out.substr(0, cut) + "...";
}

std::string PopupTime(int year, int month, int day, int hour, int minute, int second) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d/%d/%d %d:%02d:%02d", year, month, day, hour, minute, second);
    return buf;
}

std::string PopupText(const Message& message, std::string_view time) {
    std::string body = WholeGbkCharacters(message.text);
    // A window text ends at its first NUL; a blank keeps what follows one.
    for (char& c : body)
        if (c == '\0')
            c = ' ';
    return "从 " + HeaderSender(message.sender) + " 到 " + HeaderField(message.recipient) + " 于 " +
           HeaderField(time) + "\n\n" + body;
}

} // namespace lv::messenger
