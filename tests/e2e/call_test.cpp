// Two h323-endpoint processes calling each other through the service simulator.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace e2e;

namespace {

std::vector<std::string> Registered(const Simulator &sim, const std::string &alias,
                                    std::vector<std::string> more = {})
{
    std::vector<std::string> args = {"--gatekeeper", sim.Gatekeeper(), "--alias", alias,
                                     "--password", "secret", "--max-seconds", "20"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

struct CallCase {
    const char *name;
    const char *codec;
    std::vector<std::string> switches;
};

void PrintTo(const CallCase &c, std::ostream *os) { *os << c.name; }

class Calls : public ::testing::TestWithParam<CallCase>
{
};

} // namespace

TEST_P(Calls, AudioAndUserInputFlowThroughTheSimulator)
{
    const CallCase &c = GetParam();
    bool masked = std::find(c.switches.begin(), c.switches.end(), "--masking") != c.switches.end();
    Simulator sim(masked ? std::vector<std::string>{"--masking"} : std::vector<std::string>{});
    std::string tone = TempPath(std::string("tone-") + c.name + ".wav");
    std::string recording = TempPath(std::string("recording-") + c.name + ".wav");
    WriteTone(tone, 1000, 5);

    std::vector<std::string> calleeArgs = {"--record", recording, "--exit-after-call", "--codecs", c.codec};
    calleeArgs.insert(calleeArgs.end(), c.switches.begin(), c.switches.end());
    auto callee = StartEndpoint(Registered(sim, "8002", calleeArgs));
    ASSERT_EQ(callee->WaitFor("REGISTERED"), "REGISTERED");

    std::vector<std::string> callerArgs = {"--call", "8002", "--play", tone, "--codecs", c.codec,
                                           "--hangup-after", "2", "--send-tones", "12#",
                                           "--send-text", "hello there", "--exit-after-call"};
    callerArgs.insert(callerArgs.end(), c.switches.begin(), c.switches.end());
    auto caller = StartEndpoint(Registered(sim, "8001", callerArgs));

    EXPECT_EQ(caller->WaitFor("REGISTERED"), "REGISTERED");
    EXPECT_EQ(callee->WaitFor("INCOMING"), "INCOMING 8001");
    EXPECT_EQ(caller->WaitFor("CONNECTED"), std::string("CONNECTED codec=") + c.codec);
    EXPECT_EQ(callee->WaitFor("CONNECTED"), std::string("CONNECTED codec=") + c.codec);
    EXPECT_EQ(callee->WaitFor("USER-INPUT-TONE 1"), "USER-INPUT-TONE 1");
    EXPECT_EQ(callee->WaitFor("USER-INPUT-TONE 2"), "USER-INPUT-TONE 2");
    EXPECT_EQ(callee->WaitFor("USER-INPUT-TONE #"), "USER-INPUT-TONE #");
    EXPECT_EQ(callee->WaitFor("USER-INPUT-STRING"), "USER-INPUT-STRING hello there");
    EXPECT_EQ(caller->WaitFor("CLEARED"), "CLEARED reason=0 EndedByLocalUser");
    EXPECT_EQ(callee->WaitFor("CLEARED"), "CLEARED reason=3 EndedByRemoteUser");
    EXPECT_EQ(caller->Wait(), 0);
    EXPECT_EQ(callee->Wait(), 0);

    ToneAnalysis a = AnalyseTone(recording, 1000);
    EXPECT_GT(a.seconds, 1.5) << "recording too short";
    // All but the jitter buffer's 50-250 ms and the first packets carry the tone.
    EXPECT_GT(a.toneSeconds, a.seconds - 0.4) << a.toneSeconds << " of " << a.seconds;
    EXPECT_GE(a.firstToneAt, 0);
    EXPECT_LT(a.firstToneAt, 0.3);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, Calls,
    ::testing::Values(CallCase{"pcmuFastTunnelled", "PCMU", {}},
                      CallCase{"gsmFastTunnelled", "GSM", {}},
                      CallCase{"pcmuH245Tunnelled", "PCMU", {"--no-fast-start"}},
                      CallCase{"gsmH245Tunnelled", "GSM", {"--no-fast-start"}},
                      CallCase{"pcmuFastNotTunnelled", "PCMU", {"--no-tunnelling"}},
                      CallCase{"gsmFastNotTunnelled", "GSM", {"--no-tunnelling"}},
                      CallCase{"pcmuH245NotTunnelled", "PCMU", {"--no-fast-start", "--no-tunnelling"}},
                      CallCase{"gsmH245NotTunnelled", "GSM", {"--no-fast-start", "--no-tunnelling"}},
                      CallCase{"pcmaSeparateH245", "PCMA", {"--no-fast-start", "--h245-separate"}},
                      CallCase{"gsmMasked", "GSM", {"--masking"}}),
    [](const auto &info) { return std::string(info.param.name); });

struct EndCase {
    const char *name;
    std::vector<std::string> callee; ///< empty: no callee at all
    std::string dial;
    std::vector<std::string> caller;
    std::string callerCleared;
    std::string calleeCleared;
};

static void PrintTo(const EndCase &c, std::ostream *os) { *os << c.name; }

class EndReasons : public ::testing::TestWithParam<EndCase>
{
};

TEST_P(EndReasons, ReachTheCallerAndTheCallee)
{
    const EndCase &c = GetParam();
    Simulator sim;
    std::unique_ptr<Process> callee;
    if (!c.callee.empty()) {
        callee = StartEndpoint(Registered(sim, "8002", c.callee));
        ASSERT_EQ(callee->WaitFor("REGISTERED"), "REGISTERED");
    }
    std::vector<std::string> callerArgs = {"--call", c.dial, "--exit-after-call"};
    callerArgs.insert(callerArgs.end(), c.caller.begin(), c.caller.end());
    auto caller = StartEndpoint(Registered(sim, "8001", callerArgs));
    EXPECT_EQ(caller->WaitFor("CLEARED"), c.callerCleared);
    if (callee) {
        EXPECT_EQ(callee->WaitFor("CLEARED"), c.calleeCleared);
    }
    EXPECT_EQ(caller->Wait(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EndReasons,
    ::testing::Values(
        EndCase{"refused", {"--answer", "refuse"}, "8002", {}, "CLEARED reason=4 EndedByRefusal",
                "CLEARED reason=2 EndedByAnswerDenied"},
        EndCase{"busy", {"--answer", "busy"}, "8002", {}, "CLEARED reason=17 EndedByRemoteBusy",
                "CLEARED reason=15 EndedByLocalBusy"},
        EndCase{"noAnswer", {"--answer", "never"}, "8002", {"--answer-timeout", "1"},
                "CLEARED reason=5 EndedByNoAnswer", "CLEARED reason=6 EndedByCallerAbort"},
        EndCase{"admissionRejected", {}, "9999", {}, "CLEARED reason=10 EndedByNoUser", ""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(EndToEnd, ForwardedCallIsPlacedAgainToTheNewParty)
{
    Simulator sim;
    auto target = StartEndpoint(Registered(sim, "8003", {"--exit-after-call"}));
    auto forwarder = StartEndpoint(Registered(sim, "8002", {"--forward", "8003"}));
    ASSERT_EQ(target->WaitFor("REGISTERED"), "REGISTERED");
    ASSERT_EQ(forwarder->WaitFor("REGISTERED"), "REGISTERED");
    auto caller = StartEndpoint(Registered(sim, "8001", {"--call", "8002", "--hangup-after", "0.5", "--exit-after-call"}));
    EXPECT_EQ(caller->WaitFor("FORWARDED"), "FORWARDED 8003");
    EXPECT_EQ(caller->WaitFor("CLEARED reason=13"), "CLEARED reason=13 EndedByCallForwarded");
    EXPECT_EQ(target->WaitFor("INCOMING"), "INCOMING 8001");
    EXPECT_EQ(caller->WaitFor("CONNECTED"), "CONNECTED codec=PCMU");
    EXPECT_EQ(caller->WaitFor("CLEARED reason=0"), "CLEARED reason=0 EndedByLocalUser");
    EXPECT_EQ(caller->Wait(), 0);
}

TEST(EndToEnd, UnregistrationByTheGatekeeper)
{
    Simulator sim;
    auto ep = StartEndpoint(Registered(sim, "8001"));
    ASSERT_EQ(ep->WaitFor("REGISTERED"), "REGISTERED");
    sim.process().Send("unregister 8001");
    EXPECT_EQ(ep->WaitFor("UNREGISTERED"), "UNREGISTERED");
    EXPECT_FALSE(sim.process().WaitFor("ras: unregistrationConfirm").empty());
}

TEST(EndToEnd, WrongPasswordFailsTheRegistration)
{
    Simulator sim;
    auto ep = StartEndpoint({"--gatekeeper", sim.Gatekeeper(), "--alias", "8001", "--password", "wrong"});
    EXPECT_EQ(ep->WaitFor("REGISTRATION-FAILED"), "REGISTRATION-FAILED SecurityDenied");
    EXPECT_EQ(ep->Wait(), 1);
}
