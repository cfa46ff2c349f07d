#include "TestSupport.h"

#include "app/Main.h"
#include "presence/PresenceQuery.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>

namespace {

using lvtest::DataFolder;
using lvtest::MessageBoxes;
using Lines = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

const char kQuerying[] = "正在查询，请稍后..";
const char kDone[] = "查询完毕！";

std::string Text(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

// The address the worker binds to: probing it is probing this machine.
std::string OwnAddress() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    std::optional<in_addr> own = lv::presence::FirstLocalAddress();
    WSACleanup();
    return own ? Text(*own) : std::string();
}

// The same address with every part written in three digits: 192.000.002.002.
std::string ZeroPadded(const std::string& dotted) {
    unsigned a, b, c, d;
    sscanf(dotted.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
    char text[16];
    snprintf(text, sizeof text, "%03u.%03u.%03u.%03u", a, b, c, d);
    return text;
}

// Loopback addresses in the order a test names them.
in_addr Loopback(const char* text) {
    in_addr address{};
    inet_pton(AF_INET, text, &address);
    return address;
}

// A raw socket refused the way Windows refuses it to a process without administrator rights.
SOCKET RefusedRawSocket() {
    WSASetLastError(WSAEACCES);
    return INVALID_SOCKET;
}

class PresenceQuery : public testing::Test {
  protected:
    using Names = std::map<std::string, std::string>;

    void SetUp() override {
        own = OwnAddress();
        ASSERT_FALSE(own.empty()) << "the local host name has no address";
        UseHooks({});
    }
    void TearDown() override { lv::presence::SetProbeHooks({}); }

    // Computer names resolve only as `names` says (no name server is ever asked), unless
    // the hooks bring a lookup of their own; `realNames` keeps the system's lookup.
    void UseHooks(lv::presence::ProbeHooks hooks, Names names = {}, bool realNames = false) {
        if (!hooks.resolveName && !realNames) {
            auto table = std::make_shared<const Names>(std::move(names));
            hooks.resolveName = [table](const std::string& name) -> std::optional<in_addr> {
                auto it = table->find(name);
                if (it == table->end())
                    return std::nullopt;
                return Loopback(it->second.c_str());
            };
        }
        lv::presence::SetProbeHooks(std::move(hooks));
    }

    // The status lines the query writes, and how long it took.
    Lines Query(const std::vector<lv::Friend>& friends, std::chrono::milliseconds* took = nullptr) {
        main->Friends().Assign(friends);
        main->btClearClick();
        auto start = Clock::now();
        main->btStatusClick();
        if (took)
            *took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        return main->mmOutput.Lines();
    }

    bool CommandsEnabled() const {
        return main->btStatus.Enabled() && main->mnMain.ItemEnabled(lv::kMnStatus) &&
               main->btClear.Enabled();
    }
    bool CommandsDisabled() const {
        return !main->btStatus.Enabled() && !main->mnMain.ItemEnabled(lv::kMnStatus) &&
               !main->btClear.Enabled();
    }

    DataFolder dir;
    std::unique_ptr<lv::TfrmMain> main = std::make_unique<lv::TfrmMain>();
    std::string own;
};

TEST_F(PresenceQuery, OwnAddressAnswersOnceAndTheWindowStaysInUse) {
    // Probing one's own address brings back the request as well as the reply; only the
    // reply counts. Meanwhile the window handles what comes to it, and the three commands
    // are out of use.
    std::vector<std::string> seen;
    int handled = 0;
    bool disabledThroughout = true;
    lv::TTimer during;
    during.SetInterval(300);
    during.OnTimer = [&] {
        ++handled;
        disabledThroughout = disabledThroughout && CommandsDisabled();
        // A second start while one runs is ignored, however the command arrives.
        main->mnStatusClick();
        main->btStatusClick();
    };
    during.SetEnabled(true);
    std::chrono::milliseconds took{};
    Lines lines = Query({{"本机", own}, {"回环", "127.0.0.1"}}, &took);
    during.SetEnabled(false);
    // The loopback friend answers too, whatever address the host name has.
    Lines expected{kQuerying, "本机 在线", "回环 在线", kDone};
    if (own == "127.0.0.1")
        expected = {kQuerying, "本机 在线", "本机 在线", kDone};
    if (lines.size() == 4)
        std::sort(lines.begin() + 1, lines.end() - 1);
    std::sort(expected.begin() + 1, expected.end() - 1);
    EXPECT_EQ(lines, expected);
    EXPECT_GE(took.count(), 8000);
    EXPECT_LT(took.count(), 9500);
    EXPECT_GE(handled, 20) << "the window answers every 300 ms through the query";
    EXPECT_TRUE(disabledThroughout);
    EXPECT_TRUE(CommandsEnabled());
    EXPECT_FALSE(main->tmDelay.Enabled());
}

TEST_F(PresenceQuery, SameAddressTwiceGivesTwoLinesWithTheFirstName) {
    Lines lines = Query({{"甲", own}, {"乙", own}});
    EXPECT_EQ(lines, (Lines{kQuerying, "甲 在线", "甲 在线", kDone}));
}

TEST_F(PresenceQuery, AddressTextIsMatchedExactlyAndUnresolvedNamesAreNeverSentAnywhere) {
    // The padded text is probed (its answer comes back) but the answer's text is the plain
    // one, so nobody of the list answers. A name that has no address, an empty entry and
    // the all-ones address send nothing.
    Lines lines = Query({{"补零", ZeroPadded(own)},
                         {"电脑名", "PC-WANG"},
                         {"空", ""},
                         {"全一", "255.255.255.255"}});
    EXPECT_EQ(lines, (Lines{kQuerying, "出错了 在线", kDone}));

    EXPECT_FALSE(lv::presence::EchoDestination("PC-WANG"));
    EXPECT_FALSE(lv::presence::EchoDestination(""));
    EXPECT_FALSE(lv::presence::EchoDestination("255.255.255.255"));
    // Leading zeros are decimal, as the sender reads them; inet_addr's octal, hexadecimal
    // and short forms are no address, so no echo goes to a machine the user never typed.
    ASSERT_TRUE(lv::presence::EchoDestination("192.168.000.010"));
    EXPECT_EQ(Text(*lv::presence::EchoDestination("192.168.000.010")), "192.168.0.10");
    for (const char* notAnAddress : {"10.1", "0x7f.0.0.1", "127.0.0.1 ", "1.2.3.256", "1.2.3.4."})
        EXPECT_FALSE(lv::presence::EchoDestination(notAnAddress)) << notAnAddress;
    EXPECT_EQ(lv::presence::SendEchoRequest(INVALID_SOCKET, "PC-WANG"), SOCKET_ERROR);
}

TEST_F(PresenceQuery, EmptyListStillRunsThroughBothWaits) {
    std::chrono::milliseconds took{};
    EXPECT_EQ(Query({}, &took), (Lines{kQuerying, kDone}));
    EXPECT_GE(took.count(), 8000);
}

TEST_F(PresenceQuery, ConfirmedExitEndsTheQueryAtOnce) {
    // Exit answered Yes in the middle of the answer window, as the main menu runs it.
    MessageBoxes boxes;
    boxes.Answer(IDYES);
    lv::App().SetAnimateWindows(false);
    lv::TTimer exit;
    exit.SetInterval(3000);
    exit.OnTimer = [&] {
        exit.SetEnabled(false);
        main->mnExitClick();
    };
    exit.SetEnabled(true);
    std::chrono::milliseconds took{};
    Lines lines = Query({{"本机", own}}, &took);
    EXPECT_TRUE(lv::App().Terminated());
    EXPECT_LT(took.count(), 4000);
    EXPECT_EQ(lines, (Lines{kQuerying, "本机 在线"})) << "no closing line once the program ends";
    EXPECT_EQ(boxes.asked.size(), 1u);
    EXPECT_FALSE(dir.Exists(L"FRIENDS.DAT"));
    lv::App().ProcessMessages();
    lv::App().ResetTerminated();
}

TEST_F(PresenceQuery, WorkerSetUpFailuresEndTheQueryNormally) {
    // No raw socket, and no ICMP helper either: the box comes after the query, which ran
    // to its end.
    UseHooks({RefusedRawSocket, nullptr, [] { return INVALID_HANDLE_VALUE; }, nullptr});
    {
        MessageBoxes boxes;
        boxes.Answer(IDOK);
        EXPECT_EQ(Query({{"本机", own}}), (Lines{kQuerying, kDone}));
        ASSERT_EQ(boxes.asked.size(), 1u);
        EXPECT_EQ(boxes.asked[0].text, "出错！");
        EXPECT_EQ(boxes.asked[0].caption, "Lumivale");
        EXPECT_EQ(boxes.asked[0].type, static_cast<UINT>(MB_OK));
        EXPECT_TRUE(CommandsEnabled());
    }
    // The local host name has no address: a status line, and the query goes on.
    UseHooks({nullptr, [] { return std::optional<in_addr>(); }, nullptr, nullptr});
    EXPECT_EQ(Query({{"本机", own}}), (Lines{kQuerying, "出错！", kDone}));
}

TEST_F(PresenceQuery, RefusedRawSocketTakesTheIcmpHelperWithinTheSameTimes) {
    // As for a standard user on Windows: the raw socket is refused, the ICMP helper sends
    // every request and the answers are reported as ever, with no box. A name found in
    // time is reported under its own name, also beside a friend at the same address; a
    // name whose lookup outlasts its turn, and a text that is neither, are not probed.
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto slowLookups = std::make_shared<std::atomic<int>>(0);
    Names names{{"PC-WANG", "127.0.0.4"}, {"PC-LI", "127.0.0.3"}};
    UseHooks({RefusedRawSocket, nullptr, nullptr,
              [names, release, slowLookups](const std::string& name) -> std::optional<in_addr> {
                  if (name == "SLOW-PC") {
                      ++*slowLookups;
                      WaitForSingleObject(release, 20000);
                      return Loopback("127.0.0.5");
                  }
                  auto it = names.find(name);
                  if (it == names.end())
                      return std::nullopt;
                  return Loopback(it->second.c_str());
              }});
    MessageBoxes boxes;
    std::chrono::milliseconds took{};
    Lines lines = Query({{"甲", "127.0.0.2"},
                         {"乙", "127.0.0.3"},
                         {"丙", "127.0.0.2"},
                         {"王", "PC-WANG"},
                         {"李", "PC-LI"},
                         {"慢", "SLOW-PC"},
                         {"短", "10.1"},
                         {"空", ""},
                         {"无名", "PC-NOBODY"}},
                        &took);
    SetEvent(release);
    EXPECT_TRUE(boxes.asked.empty()) << "no box: the helper could send";
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), kQuerying);
    EXPECT_EQ(lines.back(), kDone);
    Lines answers(lines.begin() + 1, lines.end() - 1);
    std::sort(answers.begin(), answers.end());
    Lines expected{"甲 在线", "甲 在线", "乙 在线", "王 在线", "李 在线"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(answers, expected);
    EXPECT_EQ(*slowLookups, 1) << "the slow name was looked up, once";
    EXPECT_GE(took.count(), 8000);
    EXPECT_LT(took.count(), 9500);
    EXPECT_TRUE(CommandsEnabled());
    CloseHandle(release);

    // The machine's own address answers once through the helper too.
    boxes.asked.clear();
    EXPECT_EQ(Query({{"本机", own}}), (Lines{kQuerying, "本机 在线", kDone}));
    EXPECT_TRUE(boxes.asked.empty());
}

TEST_F(PresenceQuery, ComputerNamesAreLookedUpAndAnsweredUnderTheirOwnName) {
    // The raw socket and the system's own lookup ("localhost" is in every hosts file): the
    // answer from 127.0.0.1 comes twice, once for each friend.
    UseHooks({}, {}, true);
    Lines lines = Query({{"回环", "127.0.0.1"}, {"本地", "localhost"}});
    if (lines.size() == 4)
        std::sort(lines.begin() + 1, lines.end() - 1);
    Lines expected{kQuerying, "回环 在线", "本地 在线", kDone};
    std::sort(expected.begin() + 1, expected.end() - 1);
    EXPECT_EQ(lines, expected);
}

} // namespace
