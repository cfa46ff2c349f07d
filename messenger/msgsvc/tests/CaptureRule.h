#pragma once
// The capture rule of Lumivale.exe, for the pop-up text tests.
#include <algorithm>
#include <string>

namespace msgsvc_test {

// What Lumivale's capture does with a pop-up text, byte for byte: the sender is bytes 4 to
// p-2 where p is the 1-based position of the first "到 "; the body starts at the second
// byte after the first line feed.
struct Captured {
    std::string sender, body;
};

inline std::string Substring(const std::string& t, long i, long n) {
    long len = static_cast<long>(t.size());
    if (i > len || n <= 0)
        return {};
    if (i < 1)
        i = 1;
    n = std::min(n, len - i + 1);
    return t.substr(static_cast<size_t>(i - 1), static_cast<size_t>(n));
}

inline Captured Capture(const std::string& t) {
    long len = static_cast<long>(t.size());
    size_t to = t.find("到 ");
    long p = to == std::string::npos ? 0 : static_cast<long>(to) + 1;
    size_t lf = t.find('\n');
    long q = lf == std::string::npos ? 0 : static_cast<long>(lf) + 1;
    return {Substring(t, 4, p - 5), Substring(t, q + 2, len - q)};
}

} // namespace msgsvc_test
