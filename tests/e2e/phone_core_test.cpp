// Phone cores (each a phone-core process with a recording main window) calling each other and
// the command-line endpoint through the masked service simulator: every call event as the main
// window receives it.
#include "phone_core.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

using namespace e2e;

namespace
{

using Lines = std::vector<std::string>;

/// Both cores registered with the masked simulator.
struct TwoCores {
    explicit TwoCores(std::vector<std::string> calleeArgs = {},
                      std::vector<std::string> simArgs = {})
        : sim(WithMasking(simArgs)), caller("caller"), callee("callee", calleeArgs)
    {
        caller.Register(sim, "8001");
        callee.Register(sim, "8002");
        EXPECT_FALSE(caller.WaitFor("MSG GK_REGISTERED").empty());
        EXPECT_FALSE(callee.WaitFor("MSG GK_REGISTERED").empty());
    }
    static std::vector<std::string> WithMasking(std::vector<std::string> args)
    {
        args.push_back("--masking");
        return args;
    }
    Simulator sim;
    PhoneCore caller;
    PhoneCore callee;
};

} // namespace

TEST(PhoneCores, G7231CallWithAudioDtmfAndChatEndsWithTheEventsOfTheMessageTable)
{
    std::string tone = TempPath("g7231-tone.wav");
    std::string recording = TempPath("g7231-recording.wav");
    WriteTone(tone, 500, 6);
    Simulator sim({"--masking", "--balance", "12.50", "--credit-time", "3600"});
    PhoneCore caller("caller", {"--play", tone});
    PhoneCore callee("callee", {"--record", recording});
    caller.Register(sim, "8001");
    callee.Register(sim, "8002");
    ASSERT_FALSE(caller.WaitFor("MSG GK_REGISTERED").empty());
    ASSERT_FALSE(callee.WaitFor("MSG GK_REGISTERED").empty());
    // The balance of the registration, before it is reported.
    EXPECT_NE(caller.WaitFor("MSG SHOW_BALANCE").find("text=12.50"), std::string::npos);

    caller.Send("call 8002");
    EXPECT_EQ(caller.WaitFor("RESULT call"), "RESULT call 1");
    ASSERT_FALSE(callee.WaitFor("MSG RINGING_IN").empty());
    ASSERT_FALSE(caller.WaitFor("MSG CALL_ALERTING").empty());
    // The admission confirm's remaining time and balance, on both sides.
    EXPECT_EQ(caller.WaitFor("MSG SHOW_TIME").substr(caller.WaitFor("MSG SHOW_TIME").find("text=")),
              "text=3600");
    EXPECT_FALSE(callee.WaitFor("MSG SHOW_TIME").empty());
    // Offered: nothing connects until the user answers.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_FALSE(caller.Has("MSG CONNECTED"));
    callee.Send("state");
    EXPECT_NE(callee.WaitFor("RESULT state").find("idle=1 connections=1"), std::string::npos);
    EXPECT_NE(callee.WaitFor("RESULT state").find("caller=8001"), std::string::npos);

    callee.Send("answer");
    ASSERT_FALSE(caller.WaitFor("MSG CONNECTED").empty());
    ASSERT_FALSE(callee.WaitFor("MSG CONNECTED").empty());
    EXPECT_EQ(caller.WaitFor("CODEC"), "CODEC G.723.1{sw} G.723.1{sw}");
    EXPECT_EQ(callee.WaitFor("CODEC"), "CODEC G.723.1{sw} G.723.1{sw}");

    caller.Send("dtmf 7");
    caller.Send("chat hello there");
    EXPECT_NE(callee.WaitFor("MSG CHAT_TEXT").find("text=7"), std::string::npos);
    EXPECT_NE(callee.WaitFor("MSG CHAT_TEXT", 2).find("text=hello there"), std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    caller.Send("hangup");
    EXPECT_EQ(caller.WaitFor("MSG CLEARED"), "MSG CLEARED 0 0"); // ended by the local user
    EXPECT_EQ(callee.WaitFor("MSG CLEARED"), "MSG CLEARED 3 1"); // remote user
    EXPECT_EQ(caller.CallMessages(), (Lines{"CALL_ALERTING 0 0", "CONNECTED 0 0", "CLEARED 0 0"}));
    EXPECT_EQ(callee.CallMessages(), (Lines{"RINGING_IN 0 0", "CONNECTED 0 0", "CLEARED 3 1"}));

    callee.Send("quit");
    EXPECT_FALSE(callee.WaitFor("EXITED").empty());
    ToneAnalysis heard = AnalyseTone(recording, 500);
    EXPECT_GT(heard.toneSeconds, 1.5) << "of " << heard.seconds << " s recorded";
}

TEST(PhoneCores, AcmCodecIsUsedWhenADriverIsInstalled)
{
    TwoCores cores({"--acm-driver"});
    cores.caller.Send("call 8002");
    ASSERT_FALSE(cores.callee.WaitFor("MSG RINGING_IN").empty());
    cores.callee.Send("answer");
    // The callee offers and takes the ACM codec; the caller its coder library's.
    EXPECT_EQ(cores.callee.WaitFor("CODEC"), "CODEC G.723.1(ACM) G.723.1(ACM)");
    EXPECT_EQ(cores.caller.WaitFor("CODEC"), "CODEC G.723.1{sw} G.723.1{sw}");
    cores.callee.Send("hangup");
    EXPECT_EQ(cores.caller.WaitFor("MSG CLEARED"), "MSG CLEARED 3 1");
    EXPECT_EQ(cores.callee.WaitFor("MSG CLEARED"), "MSG CLEARED 0 0");
}

TEST(PhoneCores, RefusedAndAbandonedCalls)
{
    TwoCores cores;
    cores.caller.Send("call 8002");
    ASSERT_FALSE(cores.callee.WaitFor("MSG RINGING_IN").empty());
    cores.callee.Send("refuse");
    EXPECT_EQ(cores.callee.WaitFor("MSG CLEARED"), "MSG CLEARED 2 1"); // answer denied
    EXPECT_EQ(cores.caller.WaitFor("MSG CLEARED"), "MSG CLEARED 4 1"); // refusal

    cores.caller.Send("call 8002");
    ASSERT_FALSE(cores.callee.WaitFor("MSG RINGING_IN", 2).empty());
    ASSERT_FALSE(cores.caller.WaitFor("MSG CALL_ALERTING", 2).empty());
    cores.caller.Send("hangup");
    EXPECT_EQ(cores.caller.WaitFor("MSG CLEARED", 2), "MSG CLEARED 0 0");
    EXPECT_EQ(cores.callee.WaitFor("MSG CLEARED", 2), "MSG CLEARED 6 1"); // caller abort
}

struct FilterCase {
    const char *name;
    std::vector<std::string> args;
    bool offered;
};

static void PrintTo(const FilterCase &c, std::ostream *os) { *os << c.name; }

class IncomingFilter : public ::testing::TestWithParam<FilterCase>
{
};

TEST_P(IncomingFilter, RefusesWithoutAnyMessageToTheCallee)
{
    TwoCores cores(GetParam().args);
    cores.caller.Send("call 8002");
    if (GetParam().offered) {
        EXPECT_FALSE(cores.callee.WaitFor("MSG RINGING_IN").empty());
        cores.caller.Send("hangup");
        EXPECT_EQ(cores.caller.WaitFor("MSG CLEARED"), "MSG CLEARED 0 0");
        return;
    }
    EXPECT_EQ(cores.caller.WaitFor("MSG CLEARED"), "MSG CLEARED 4 1");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(cores.callee.CallMessages().empty());
    cores.callee.Send("state");
    EXPECT_NE(cores.callee.WaitFor("RESULT state").find("idle=1 connections=0"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, IncomingFilter,
    ::testing::Values(
        FilterCase{
            "refuseListed", {"--filter-mode", "0", "--filter", "7777", "--filter", "8001"}, false},
        FilterCase{"refuseOthers", {"--filter-mode", "0", "--filter", "80011"}, true},
        FilterCase{"acceptOnlyListed", {"--filter-mode", "1", "--filter", "8001"}, true},
        FilterCase{"acceptOnlyListedOthers", {"--filter-mode", "1", "--filter", "8003"}, false},
        FilterCase{"acceptOnlyEmptyList", {"--filter-mode", "1"}, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PhoneCores, AlwaysForwardComesBeforeTheOffer)
{
    TwoCores cores({"--forward-always", "8003"});
    cores.caller.Send("call 8002");
    EXPECT_EQ(cores.caller.WaitFor("MSG CALL_FORWARDED"), "MSG CALL_FORWARDED 0 0");
    // Forwarded calls end without a text for the dialog.
    EXPECT_EQ(cores.caller.WaitFor("MSG CLEARED"), "MSG CLEARED 0 0");
    EXPECT_FALSE(cores.callee.Has("MSG RINGING_IN"));
}

struct BusyCase {
    const char *name;
    std::vector<std::string> args;
    const char *thirdSees; ///< the last call message of the second caller
};

static void PrintTo(const BusyCase &c, std::ostream *os) { *os << c.name; }

class SecondCall : public ::testing::TestWithParam<BusyCase>
{
};

TEST_P(SecondCall, WhileConnectedIsForwardedOrRefusedBusy)
{
    TwoCores cores(GetParam().args);
    PhoneCore third("third");
    third.Register(cores.sim, "8003");
    ASSERT_FALSE(third.WaitFor("MSG GK_REGISTERED").empty());
    cores.caller.Send("call 8002");
    ASSERT_FALSE(cores.callee.WaitFor("MSG RINGING_IN").empty());
    cores.callee.Send("answer");
    ASSERT_FALSE(cores.callee.WaitFor("MSG CONNECTED").empty());

    third.Send("call 8002");
    EXPECT_EQ(third.WaitFor(GetParam().thirdSees), GetParam().thirdSees);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The first call goes on; the callee's window heard nothing of the second one.
    EXPECT_EQ(cores.callee.CallMessages(), (Lines{"RINGING_IN 0 0", "CONNECTED 0 0"}));
    cores.caller.Send("hangup");
    EXPECT_EQ(cores.callee.WaitFor("MSG CLEARED"), "MSG CLEARED 3 1");
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, SecondCall,
    ::testing::Values(BusyCase{"refusedBusy", {}, "MSG CLEARED 17 1"},
                      BusyCase{"forwarded", {"--forward-busy", "8001"}, "MSG CALL_FORWARDED 0 0"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PhoneCores, CallsThatCannotBePlacedReportTheirReason)
{
    Simulator sim({"--masking"});
    PhoneCore caller("caller");
    caller.Register(sim, "8001");
    ASSERT_FALSE(caller.WaitFor("MSG GK_REGISTERED").empty());
    caller.Send("call 8009"); // nobody registered
    EXPECT_EQ(caller.WaitFor("MSG CLEARED"), "MSG CLEARED 10 1");
    caller.Send("call ");
    EXPECT_EQ(caller.WaitFor("RESULT call", 2), "RESULT call 0");
    caller.Send("state");
    EXPECT_NE(caller.WaitFor("RESULT state").find("idle=1"), std::string::npos);
}

TEST(PhoneCores, RegistrationResults)
{
    Simulator sim({"--masking"});
    PhoneCore first("first");
    first.Register(sim, "8001");
    ASSERT_FALSE(first.WaitFor("MSG GK_REGISTERED").empty());

    // The account from another phone: in use.
    PhoneCore second("second");
    second.Register(sim, "8001");
    EXPECT_EQ(second.WaitFor("MSG ACCOUNT_IN_USE"), "MSG ACCOUNT_IN_USE 102 0");
    EXPECT_EQ(second.WaitFor("MSG REGISTRATION_FAILED"), "MSG REGISTRATION_FAILED 0 0");

    // A wrong password.
    PhoneCore third("third");
    third.Send("register " + sim.Gatekeeper() + " 8003 wrong");
    EXPECT_EQ(third.WaitFor("MSG ACCOUNT_IN_USE"), "MSG ACCOUNT_IN_USE 103 0");
    EXPECT_EQ(third.WaitFor("MSG REGISTRATION_FAILED"), "MSG REGISTRATION_FAILED 0 0");

    // The gatekeeper unregisters the first phone, which registers again.
    sim.process().Send("unregister 8001");
    EXPECT_EQ(first.WaitFor("MSG GK_UNREGISTERED"), "MSG GK_UNREGISTERED 0 0");
    EXPECT_EQ(first.WaitFor("MSG START_REGISTRATION"), "MSG START_REGISTRATION 0 0");
    EXPECT_FALSE(first.WaitFor("MSG GK_REGISTERED", 2).empty());
    first.Send("state");
    EXPECT_NE(first.WaitFor("RESULT state").find("registered=1"), std::string::npos);
}

struct NatCase {
    const char *name;
    std::vector<std::string> callerArgs;
    const char *codecs; ///< the CODEC line of the callee
};

static void PrintTo(const NatCase &c, std::ostream *os) { *os << c.name; }

class OverTheNatLink : public ::testing::TestWithParam<NatCase>
{
};

TEST_P(OverTheNatLink, CallArrivingOnTheLinkIsHandedOverAndCarriesAudio)
{
    const NatCase &c = GetParam();
    std::string tone = TempPath(std::string("nat-tone-") + c.name + ".wav");
    std::string recording = TempPath(std::string("nat-recording-") + c.name + ".wav");
    WriteTone(tone, 500, 6);
    Simulator sim({"--masking", "--nat-hint"});
    std::vector<std::string> callerArgs = {"--play", tone};
    callerArgs.insert(callerArgs.end(), c.callerArgs.begin(), c.callerArgs.end());
    PhoneCore caller("caller", callerArgs);
    PhoneCore callee("callee", {"--record", recording});
    caller.Register(sim, "8001");
    callee.Register(sim, "8002");
    ASSERT_FALSE(caller.WaitFor("MSG GK_REGISTERED").empty());
    ASSERT_FALSE(callee.WaitFor("MSG GK_REGISTERED").empty());
    callee.Send("state");
    EXPECT_NE(callee.WaitFor("RESULT state").find("natlink=1"), std::string::npos);
    // The call comes down the callee's link: it must be up (the caller's may come first).
    EXPECT_FALSE(sim.process().WaitFor("nat: announcement from " + sim.EndpointId("8002")).empty());

    caller.Send("call 8002");
    ASSERT_FALSE(callee.WaitFor("MSG RINGING_IN").empty());
    EXPECT_FALSE(sim.process().WaitFor("nat: call for 8002 relayed down the link").empty());
    callee.Send("answer");
    ASSERT_FALSE(caller.WaitFor("MSG CONNECTED").empty());
    ASSERT_FALSE(callee.WaitFor("MSG CONNECTED").empty());
    EXPECT_EQ(callee.WaitFor("CODEC"), c.codecs);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    callee.Send("hangup");
    EXPECT_EQ(caller.WaitFor("MSG CLEARED"), "MSG CLEARED 3 1");
    EXPECT_EQ(callee.WaitFor("MSG CLEARED"), "MSG CLEARED 0 0");
    EXPECT_EQ(caller.CallMessages(), (Lines{"CALL_ALERTING 0 0", "CONNECTED 0 0", "CLEARED 3 1"}));
    EXPECT_EQ(callee.CallMessages(), (Lines{"RINGING_IN 0 0", "CONNECTED 0 0", "CLEARED 0 0"}));
    callee.Send("quit");
    EXPECT_FALSE(callee.WaitFor("EXITED").empty());
    EXPECT_GT(AnalyseTone(recording, 500).toneSeconds, 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, OverTheNatLink,
    ::testing::Values(NatCase{"g7231", {}, "CODEC G.723.1{sw} G.723.1{sw}"},
                      // A caller without G.723.1: both phones fall back to GSM.
                      NatCase{"gsm", {"--without-g7231"}, "CODEC GSM-06.10{sw} GSM-06.10{sw}"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PhoneCoreAndEndpoint, GsmCallsBothWays)
{
    std::string tone = TempPath("gsm-tone.wav");
    std::string recording = TempPath("gsm-recording.wav");
    WriteTone(tone, 500, 6);
    Simulator sim({"--masking"});
    PhoneCore core("core", {"--play", tone});
    core.Register(sim, "8001");
    ASSERT_FALSE(core.WaitFor("MSG GK_REGISTERED").empty());
    auto endpoint = StartEndpoint({"--gatekeeper", sim.Gatekeeper(), "--alias", "8002",
                                   "--password", "secret", "--masking", "--codecs", "GSM",
                                   "--record", recording, "--max-seconds", "30"});
    ASSERT_EQ(endpoint->WaitFor("REGISTERED"), "REGISTERED");

    // The phone core calls: the endpoint answers at once.
    core.Send("call 8002");
    ASSERT_FALSE(core.WaitFor("MSG CONNECTED").empty());
    EXPECT_EQ(core.WaitFor("CODEC"), "CODEC GSM-06.10{sw} GSM-06.10{sw}");
    EXPECT_EQ(endpoint->WaitFor("CONNECTED"), "CONNECTED codec=GSM");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    core.Send("hangup");
    EXPECT_EQ(core.WaitFor("MSG CLEARED"), "MSG CLEARED 0 0");
    EXPECT_FALSE(endpoint->WaitFor("CLEARED").empty());
    endpoint->Terminate();
    endpoint->Wait(10000);
    EXPECT_GT(AnalyseTone(recording, 500).toneSeconds, 1.0);

    // The endpoint calls the phone core, which answers.
    auto callerEndpoint =
        StartEndpoint({"--gatekeeper", sim.Gatekeeper(), "--alias", "8003", "--password", "secret",
                       "--masking", "--codecs", "GSM", "--call", "8001", "--hangup-after", "1.5",
                       "--max-seconds", "30", "--exit-after-call"});
    ASSERT_FALSE(core.WaitFor("MSG RINGING_IN").empty());
    core.Send("answer");
    ASSERT_FALSE(core.WaitFor("MSG CONNECTED", 2).empty());
    EXPECT_EQ(core.WaitFor("CODEC", 2), "CODEC GSM-06.10{sw} GSM-06.10{sw}");
    EXPECT_EQ(core.WaitFor("MSG CLEARED", 2), "MSG CLEARED 3 1");
    EXPECT_EQ(callerEndpoint->Wait(15000), 0);
}

namespace
{

/// Video sent and received automatically, H.263 offered.
const std::vector<std::string> kVideoOn = {"--video", "0=1", "--video", "1=1", "--video", "3=1"};
/// Video sent and received automatically, H.261 alone offered.
const std::vector<std::string> kVideoH261 = {"--video", "0=1", "--video", "1=1", "--video", "4=1"};

/** Polls "video" until the line satisfies done; the last line. */
std::string WaitForVideo(PhoneCore &core, const std::function<bool(const std::string &)> &done)
{
    std::string line;
    for (int tries = 0; tries < 100; tries++) {
        int n = core.Count("RESULT video");
        core.Send("video");
        line = core.WaitFor("RESULT video", n + 1);
        if (line.empty() || done(line))
            return line;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return line;
}

int DrawnPictures(const std::string &line)
{
    size_t at = line.find("drawn=");
    return at == std::string::npos ? 0 : std::atoi(line.c_str() + at + 6);
}

} // namespace

/// A video format both phones offer and send: the options that select it, its format name.
struct VideoCase {
    const char *name;
    std::vector<std::string> options;
    std::string format;
};

static void PrintTo(const VideoCase &c, std::ostream *os) { *os << c.name; }

class VideoCall : public ::testing::TestWithParam<VideoCase>
{
};

TEST_P(VideoCall, NegotiatesTheFormatAndShowsThePeersPictures)
{
    const VideoCase &param = GetParam();
    Simulator sim({"--masking"});
    PhoneCore caller("caller", param.options);
    PhoneCore callee("callee", param.options);
    caller.Register(sim, "8001");
    callee.Register(sim, "8002");
    ASSERT_FALSE(caller.WaitFor("MSG GK_REGISTERED").empty());
    ASSERT_FALSE(callee.WaitFor("MSG GK_REGISTERED").empty());
    caller.Send("call 8002");
    ASSERT_FALSE(callee.WaitFor("MSG RINGING_IN").empty());
    callee.Send("answer");
    ASSERT_FALSE(caller.WaitFor("MSG CONNECTED").empty());
    EXPECT_EQ(caller.WaitFor("CODEC"), "CODEC G.723.1{sw} G.723.1{sw}");

    // Both directions open with the format, and each side draws the other's test pattern.
    const std::string both = "tx=" + param.format + " rx=" + param.format;
    for (PhoneCore *core : {&caller, &callee}) {
        std::string line = WaitForVideo(*core, [&](const std::string &l) {
            return l.find(both) != std::string::npos && DrawnPictures(l) >= 3;
        });
        EXPECT_NE(line.find(both), std::string::npos) << line;
        EXPECT_GE(DrawnPictures(line), 3) << line;
    }

    // The call outlasts the stack's wait for media (10 s), and the pictures keep coming.
    int drawn = DrawnPictures(caller.WaitFor("RESULT video", caller.Count("RESULT video")));
    std::this_thread::sleep_for(std::chrono::milliseconds(11000));
    EXPECT_FALSE(caller.Has("MSG CLEARED"));
    EXPECT_FALSE(callee.Has("MSG CLEARED"));
    std::string later = WaitForVideo(caller, [](const std::string &) { return true; });
    EXPECT_GT(DrawnPictures(later), drawn + 10) << later;

    caller.Send("hangup");
    EXPECT_EQ(caller.WaitFor("MSG CLEARED"), "MSG CLEARED 0 0");
    EXPECT_EQ(callee.WaitFor("MSG CLEARED"), "MSG CLEARED 3 1");
    int results = caller.Count("RESULT video");
    caller.Send("video");
    EXPECT_EQ(caller.WaitFor("RESULT video", results + 1).substr(0, 29),
              "RESULT video tx=none rx=none ");
    // Both processes end cleanly with the video channels closed.
    caller.Send("quit");
    callee.Send("quit");
    EXPECT_FALSE(caller.WaitFor("EXITED").empty());
    EXPECT_FALSE(callee.WaitFor("EXITED").empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, VideoCall,
                         ::testing::Values(VideoCase{"H263", kVideoOn, "H.263"},
                                           VideoCase{"H261", kVideoH261, "H.261"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(PhoneCores, AudioCallGoesOnWhenOneSideHasNoVideo)
{
    std::string tone = TempPath("novideo-tone.wav");
    std::string recording = TempPath("novideo-recording.wav");
    WriteTone(tone, 500, 6);
    Simulator sim({"--masking"});
    std::vector<std::string> callerArgs = kVideoOn;
    callerArgs.insert(callerArgs.end(), {"--play", tone});
    PhoneCore caller("caller", callerArgs);
    PhoneCore callee("callee", {"--record", recording});
    caller.Register(sim, "8001");
    callee.Register(sim, "8002");
    ASSERT_FALSE(caller.WaitFor("MSG GK_REGISTERED").empty());
    ASSERT_FALSE(callee.WaitFor("MSG GK_REGISTERED").empty());
    caller.Send("call 8002");
    ASSERT_FALSE(callee.WaitFor("MSG RINGING_IN").empty());
    callee.Send("answer");
    ASSERT_FALSE(caller.WaitFor("MSG CONNECTED").empty());
    EXPECT_EQ(callee.WaitFor("CODEC"), "CODEC G.723.1{sw} G.723.1{sw}");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    for (PhoneCore *core : {&caller, &callee}) {
        core->Send("video");
        EXPECT_EQ(core->WaitFor("RESULT video"), "RESULT video tx=none rx=none drawn=0");
    }
    caller.Send("hangup");
    EXPECT_EQ(caller.WaitFor("MSG CLEARED"), "MSG CLEARED 0 0");
    EXPECT_EQ(callee.WaitFor("MSG CLEARED"), "MSG CLEARED 3 1");
    callee.Send("quit");
    EXPECT_FALSE(callee.WaitFor("EXITED").empty());
    EXPECT_GT(AnalyseTone(recording, 500).toneSeconds, 1.0);
}
