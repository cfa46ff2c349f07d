#include "TestSupport.h"

#include "app/Main.h"
#include "presence/PresenceQuery.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>

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

class PresenceQuery : public testing::Test {
  protected:
    void SetUp() override {
        own = OwnAddress();
        ASSERT_FALSE(own.empty()) << "the local host name has no address";
    }
    void TearDown() override { lv::presence::SetProbeHooks({}); }

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

TEST_F(PresenceQuery, AddressTextIsMatchedExactlyAndNamesAreNeverSentAnywhere) {
    // The padded text is probed (its answer comes back) but the answer's text is the plain
    // one, so nobody of the list answers. Names, an empty entry and the all-ones address
    // send nothing.
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
    // No raw socket for the worker: the box comes after the query, which ran to its end.
    lv::presence::SetProbeHooks({[] { return INVALID_SOCKET; }, nullptr});
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
    lv::presence::SetProbeHooks({nullptr, [] { return std::optional<in_addr>(); }});
    EXPECT_EQ(Query({{"本机", own}}), (Lines{kQuerying, "出错！", kDone}));
}

} // namespace
