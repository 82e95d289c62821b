// Whole calls captured on the loopback interface decode in tshark without a malformed packet.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>

using namespace e2e;

namespace {

std::string Shell(const std::string &command)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), pipe.get())) > 0)
        out.append(buf, n);
    return out;
}

struct CaptureCase {
    const char *name;
    const char *rtpPorts;
    std::vector<std::string> switches;
    std::vector<std::string> expect; ///< display filters that must match at least once
};

class WholeCall : public ::testing::TestWithParam<CaptureCase>
{
};

} // namespace

TEST_P(WholeCall, DecodesInTshark)
{
    const CaptureCase &c = GetParam();
    if (::geteuid() != 0 || ::access("/usr/bin/dumpcap", X_OK) != 0 || ::access("/usr/bin/tshark", X_OK) != 0)
        GTEST_SKIP() << "capturing on lo needs root, dumpcap and tshark";
    std::string capture = TempPath(std::string("call-") + c.name + ".pcapng");
    Process dumpcap("/usr/bin/dumpcap", {"-q", "-i", "lo", "-f", "host 127.0.0.1", "-w", capture});
    // dumpcap reports on stderr; give it a moment to open the interface.
    usleep(700000);

    Simulator sim;
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
    usleep(300000);
    dumpcap.Terminate();
    dumpcap.Wait(5000);
    ASSERT_TRUE(std::filesystem::exists(capture));

    std::string rasPort = sim.Gatekeeper().substr(sim.Gatekeeper().find(':') + 1);
    std::string ours = "(udp.port==" + rasPort + " || tcp.port==" + listen + " || tcp.port==" + calleeListen +
                       " || (udp.port>=" + rtp.substr(0, 5) + " && udp.port<=" + rtp.substr(6) + ") || h245)";
    // One pass of tshark: per frame the problem markers, then one column per expected field.
    // Notes on bare TCP frames (a segment the capture missed under load) are not the
    // stack's: warnings count on frames that carry H.323 or RTP.
    std::vector<std::string> fields = {"_ws.malformed", "_ws.expert.severity", "rtp.seq", "rtcp.pt",
                                       "frame.protocols"};
    fields.insert(fields.end(), c.expect.begin(), c.expect.end());
    std::string command = "tshark -n -r " + capture + " -d udp.port==" + rasPort + ",h225 -Y '" + ours +
                          "' -T fields -E separator='|' -E occurrence=a";
    for (const std::string &f : fields)
        command += " -e " + f;
    std::string out = Shell(command + " 2>/dev/null");
    std::vector<int> seen(fields.size(), 0);
    int problems = 0, byes = 0;
    size_t pos = 0;
    while (pos < out.size()) {
        size_t eol = out.find('\n', pos);
        std::string line = out.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
        pos = eol == std::string::npos ? out.size() : eol + 1;
        std::vector<std::string> cols;
        size_t start = 0;
        for (size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1)
            cols.push_back(line.substr(start, bar - start));
        cols.push_back(line.substr(start));
        cols.resize(fields.size());
        if (!cols[0].empty())
            problems++;
        // Warning and error severities (0x600000, 0x800000).
        bool carriesCalls = false;
        for (const char *p : {"h225", "h245", "q931", "tpkt", "rtp", "rtcp"})
            carriesCalls = carriesCalls || cols[4].find(p) != std::string::npos;
        for (size_t at = 0; carriesCalls && at < cols[1].size();) {
            long severity = std::strtol(cols[1].c_str() + at, nullptr, 10);
            if (severity >= 0x600000)
                problems++;
            size_t comma = cols[1].find(',', at);
            at = comma == std::string::npos ? cols[1].size() : comma + 1;
        }
        if (cols[3].find("203") != std::string::npos)
            byes++;
        for (size_t i = 0; i < fields.size(); i++)
            if (!cols[i].empty())
                seen[i]++;
    }
    EXPECT_EQ(problems, 0) << Shell("tshark -n -r " + capture + " -d udp.port==" + rasPort + ",h225 -Y '" + ours +
                                    " && (_ws.malformed || (_ws.expert.severity >= warning && (h225 || h245 || q931 || tpkt || rtp || rtcp)))' 2>&1 | head");
    EXPECT_GT(seen[2], 100) << "RTP packets";
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
        CaptureCase{"videoH263", "17100-17149",
                    {"--no-fast-start", "--video", "H.263"},
                    {"h245.h263VideoCapability_element", "h245.videoData", "rfc2190.ftype",
                     "rfc2190.srcformat"}},
        CaptureCase{"videoH261FastStart", "17150-17199",
                    {"--video", "H.261"},
                    {"h225.fastStart", "h245.h261VideoCapability_element", "h261.gobn",
                     "h261.sbit"}}),
    [](const auto &info) { return std::string(info.param.name); });
