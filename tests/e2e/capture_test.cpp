// Whole calls captured on the loopback interface decode in tshark without a malformed packet.
#include "capture.h"
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace e2e;

namespace {

struct CaptureCase {
    const char *name;
    const char *rtpPorts;
    std::vector<std::string> switches;
    std::vector<std::string> expect; ///< display filters that must match at least once
    std::vector<std::string> simulator = {};
};

void PrintTo(const CaptureCase &c, std::ostream *os) { *os << c.name; }

class WholeCall : public ::testing::TestWithParam<CaptureCase>
{
};

} // namespace

TEST_P(WholeCall, DecodesInTshark)
{
    const CaptureCase &c = GetParam();
    std::string unavailable = CaptureUnavailable();
    if (!unavailable.empty())
        GTEST_SKIP() << unavailable;
    std::string capture = TempPath(std::string("call-") + c.name + ".pcapng");
    LoopbackCapture dumpcap(capture);

    Simulator sim(c.simulator);
    // A routing gatekeeper's signalling port carries the caller's side of the call.
    std::string routed = sim.process().WaitFor("service-sim: calls routed through tcp ", 200);
    std::string router = routed.empty() ? "" : " || tcp.port==" + routed.substr(routed.rfind(':') + 1);
    // Each case its own ports: the cases run at the same time.
    const std::string rtp = c.rtpPorts;
    std::vector<std::string> base = {"--gatekeeper", sim.Gatekeeper(), "--password", "secret",
                                     "--rtp-ports", rtp, "--max-seconds", "15", "--exit-after-call"};
    std::vector<std::string> calleeArgs = base;
    calleeArgs.insert(calleeArgs.end(), {"--alias", "8002"});
    calleeArgs.insert(calleeArgs.end(), c.switches.begin(), c.switches.end());
    auto callee = StartEndpoint(calleeArgs);
    ASSERT_EQ(callee->WaitFor("REGISTERED"), "REGISTERED");
    std::vector<std::string> callerArgs = base;
    callerArgs.insert(callerArgs.end(), {"--alias", "8001", "--call", "8002", "--hangup-after", "1.5",
                                         "--send-tones", "5", "--send-text", "hi"});
    callerArgs.insert(callerArgs.end(), c.switches.begin(), c.switches.end());
    auto caller = StartEndpoint(callerArgs);
    std::string listen = caller->WaitFor("LISTENING").substr(15);
    std::string calleeListen = callee->WaitFor("LISTENING").substr(15);
    EXPECT_EQ(caller->WaitFor("CLEARED"), "CLEARED reason=0 EndedByLocalUser");
    EXPECT_EQ(caller->Wait(), 0);
    EXPECT_EQ(callee->Wait(), 0);
    dumpcap.Stop();
    ASSERT_TRUE(std::filesystem::exists(capture));

    std::string rasPort = sim.Gatekeeper().substr(sim.Gatekeeper().find(':') + 1);
    std::string ours = "(udp.port==" + rasPort + router + " || tcp.port==" + listen + " || tcp.port==" + calleeListen +
                       " || (udp.port>=" + rtp.substr(0, 5) + " && udp.port<=" + rtp.substr(6) + ") || h245)";
    // One pass of tshark: per frame the problem markers, then one column per expected field.
    std::vector<std::string> fields = kProblemFields;
    fields.insert(fields.end(), {"rtp.seq", "rtcp.pt"});
    fields.insert(fields.end(), c.expect.begin(), c.expect.end());
    std::string decodeAs = "-d udp.port==" + rasPort + ",h225";
    std::vector<int> seen(fields.size(), 0);
    int problems = 0, byes = 0;
    for (const std::vector<std::string> &cols :
         TsharkFields(capture, decodeAs + " -Y '" + ours + "'", fields)) {
        problems += DecodeProblems(cols);
        if (cols[4].find("203") != std::string::npos)
            byes++;
        for (size_t i = 0; i < fields.size(); i++)
            if (!cols[i].empty())
                seen[i]++;
    }
    EXPECT_EQ(problems, 0) << ProblemFrames(capture, decodeAs, ours);
    EXPECT_GT(seen[3], 100) << "RTP packets";
    EXPECT_GT(byes, 0) << "RTCP BYE";
    for (size_t i = 5; i < fields.size(); i++)
        EXPECT_GT(seen[i], 0) << fields[i];
}

INSTANTIATE_TEST_SUITE_P(
    Calls, WholeCall,
    ::testing::Values(
        CaptureCase{"fastStart", "17000-17049",
                    {},
                    {"h225.gatekeeperRequest_element", "h225.registrationConfirm_element",
                     "h225.admissionConfirm_element", "h225.disengageRequest_element",
                     "h225.unregistrationRequest_element", "h225.setup_element",
                     "h225.fastStart", "h225.connect_element", "h225.releaseComplete_element",
                     "h245.terminalCapabilitySet_element", "h245.signalType"}},
        CaptureCase{"separateH245", "17050-17099",
                    {"--no-fast-start", "--h245-separate"},
                    {"h225.h245Address", "h245.masterSlaveDetermination_element",
                     "h245.openLogicalChannel_element", "h245.openLogicalChannelAck_element",
                     "h245.alphanumeric", "h245.endSessionCommand"}},
        // Video channels opened through H.245 and their RTP, each codec's payload header.
        // Through the routing gatekeeper: its confirms, and the call relayed both ways.
        CaptureCase{"routedFastStart", "17200-17249",
                    {},
                    {"h225.gatekeeperRouted_element", "h225.uuiesRequested_element",
                     "h225.setup_element", "h225.fastStart", "h225.connect_element",
                     "h225.releaseComplete_element", "h225.disengageRequest_element"},
                    {"--routed"}},
        CaptureCase{"videoH263", "17100-17149",
                    {"--no-fast-start", "--video", "H.263"},
                    {"h245.h263VideoCapability_element", "h245.videoData", "rfc2190.ftype",
                     "rfc2190.srcformat"}},
        CaptureCase{"videoH261FastStart", "17150-17199",
                    {"--video", "H.261"},
                    {"h225.fastStart", "h245.h261VideoCapability_element", "h261.gobn",
                     "h261.sbit"}}),
    [](const auto &info) { return std::string(info.param.name); });
