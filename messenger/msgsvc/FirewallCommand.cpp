#include "messenger/msgsvc/FirewallCommand.h"

#include "framework/Gbk.h"
#include "messenger/FirewallPolicy.h"

#include <windows.h>

#include <cstdio>

namespace lv::messenger {

namespace {

constexpr int kDone = 0, kFailed = 5, kNoRule = 6, kNotUnderstood = 7;

bool Is(const wchar_t* arg, const wchar_t* word) {
    return CompareStringOrdinal(arg, -1, word, -1, TRUE) == CSTR_EQUAL;
}

std::string Hex(HRESULT hr) {
    char text[16];
    snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::string Said(const FirewallChange& change) {
    std::string text = "removed " + std::to_string(change.removed) + " rule(s)";
    if (change.added)
        text += ", added the rule";
    if (FAILED(change.result))
        text += ", failed (" + Hex(change.result) + ")";
    return text;
}

} // namespace

bool IsFirewallRequest(int argc, wchar_t** argv) {
    return argc >= 2 && Is(argv[1], L"/firewall");
}

int RunFirewallRequest(int argc, wchar_t** argv,
                       const std::function<void(const std::string&)>& log) {
    if (argc < 4 || argv[3][0] == L'\0')
        return kNotUnderstood;
    const std::wstring program = argv[3];
    const std::string what = "firewall " + ToGbk(argv[2]) + " " + ToGbk(program) + ": ";
    if (Is(argv[2], L"allow")) {
        bool publicToo = argc > 4 && Is(argv[4], L"public");
        FirewallChange change = AllowThroughFirewall(program, publicToo);
        log(what +
            (publicToo ? "domain, private and public networks; "
                       : "domain and private networks; ") +
            Said(change));
        return change.added && SUCCEEDED(change.result) ? kDone : kFailed;
    }
    if (Is(argv[2], L"remove")) {
        FirewallChange change = RemoveFromFirewall(program);
        log(what + Said(change));
        return SUCCEEDED(change.result) ? kDone : kFailed;
    }
    if (Is(argv[2], L"check")) {
        HRESULT hr = FindFirewallRule(program);
        log(what + (hr == S_OK      ? "the rule is there"
                    : hr == S_FALSE ? "no rule"
                                    : "cannot tell (" + Hex(hr) + ")"));
        return hr == S_OK ? kDone : hr == S_FALSE ? kNoRule : kFailed;
    }
    return kNotUnderstood;
}

} // namespace lv::messenger
