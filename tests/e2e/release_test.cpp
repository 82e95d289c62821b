// Calls direct and through the routing gatekeeper in every signalling mode, captured: the
// side that hears of the release stops its media and disengages at once.
#include "capture.h"
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <unistd.h>

using namespace e2e;

namespace {

enum class Release { ByCaller, ByCallee, CalleeKilled };

struct ReleaseCase {
    const char *name;
    bool routed;
    std::vector<std::string> switches; ///< both endpoints
    Release release;
};

void PrintTo(const ReleaseCase &c, std::ostream *os) { *os << c.name; }

class ReleasedCall : public ::testing::TestWithParam<ReleaseCase>
{
};

std::string PortList(const std::set<uint16_t> &ports)
{
    std::string list;
    for (uint16_t p : ports)
        list += (list.empty() ? "" : ", ") + std::to_string(p);
    return list;
}

/** tshark's filter for TCP segments to the process's sockets (or from them): to its listening
 *  ports, or on one of its connections by both ports, since the local port of a connection
 *  may serve another process's connection to another peer at the same time. */
std::string TcpOf(const SocketPorts &ports, bool toThem = true)
{
    std::string ours = toThem ? "tcp.dstport" : "tcp.srcport";
    std::string peer = toThem ? "tcp.srcport" : "tcp.dstport";
    std::vector<std::string> clauses;
    if (!ports.tcpListening.empty())
        clauses.push_back(ours + " in {" + PortList(ports.tcpListening) + "}");
    for (auto [local, remote] : ports.tcpConnections)
        clauses.push_back("(" + ours + " == " + std::to_string(local) + " && " + peer + " == " +
                          std::to_string(remote) + ")");
    std::string filter;
    for (const std::string &clause : clauses)
        filter += (filter.empty() ? "" : " || ") + clause;
    return filter.empty() ? "!tcp" : "(" + filter + ")";
}

/** The sockets of an endpoint in a call, once its RTP and RTCP sockets are there beside RAS. */
SocketPorts MediaPortsOf(Process &endpoint)
{
    SocketPorts ports;
    for (int i = 0; i < 100 && (ports = PortsOf(endpoint.Pid())).udp.size() < 3; i++)
        usleep(20000);
    return ports;
}

double Seconds(const std::string &text)
{
    return text.empty() ? -1 : std::strtod(text.c_str(), nullptr);
}

/** The time of day in seconds, as the capture stamps its frames. */
double Now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

TEST_P(ReleasedCall, MediaStopsAndTheCallIsDisengagedAtOnce)
{
    const ReleaseCase &c = GetParam();
    std::string unavailable = CaptureUnavailable();
    if (!unavailable.empty())
        GTEST_SKIP() << unavailable;
    std::string capture = TempPath(std::string("release-") + c.name + ".pcapng");
    LoopbackCapture dumpcap(capture);
    Simulator sim(c.routed ? std::vector<std::string>{"--routed"} : std::vector<std::string>{});

    auto args = [&](const std::string &alias, std::vector<std::string> more) {
        std::vector<std::string> a = {"--gatekeeper", sim.Gatekeeper(), "--alias", alias,
                                      "--password", "secret", "--max-seconds", "20",
                                      "--exit-after-call"};
        // Media ports of their own, away from those of the phones' tests (the default range).
        a.insert(a.end(), {"--rtp-ports", "20000-29999"});
        a.insert(a.end(), c.switches.begin(), c.switches.end());
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    // Other tests take the endpoints' ports before they start and after they end.
    double begin = Now();
    auto callee = StartEndpoint(
        args("8002", c.release == Release::ByCallee ? std::vector<std::string>{"--hangup-after", "1.5"}
                                                    : std::vector<std::string>{}));
    ASSERT_EQ(callee->WaitFor("REGISTERED"), "REGISTERED");
    auto caller = StartEndpoint(args("8001", c.release == Release::ByCaller
                                                 ? std::vector<std::string>{"--call", "8002", "--hangup-after", "1.5"}
                                                 : std::vector<std::string>{"--call", "8002"}));
    ASSERT_EQ(caller->WaitFor("CONNECTED"), "CONNECTED codec=PCMU");
    ASSERT_EQ(callee->WaitFor("CONNECTED"), "CONNECTED codec=PCMU");
    // The side that hears of the release, and the side that ends the call.
    Process &subject = c.release == Release::ByCaller ? *callee : *caller;
    Process &releaser = c.release == Release::ByCaller ? *caller : *callee;
    // From when on their ports are surely theirs, and until when they may be.
    SocketPorts ours = MediaPortsOf(subject);
    double oursSampled = Now();
    SocketPorts theirs = MediaPortsOf(releaser);
    double theirsSampled = Now();
    if (c.release == Release::CalleeKilled) {
        usleep(1500000);
        releaser.Signal(SIGKILL);
    }
    EXPECT_FALSE(subject.WaitFor("CLEARED").empty());
    EXPECT_EQ(subject.Wait(), 0);
    double subjectEnded = Now();
    releaser.Wait();
    double releaserEnded = Now();
    dumpcap.Stop();
    ASSERT_TRUE(std::filesystem::exists(capture));

    std::string rasPort = sim.Gatekeeper().substr(sim.Gatekeeper().find(':') + 1);
    std::string subjectUdp = "udp.srcport in {" + PortList(ours.udp) + "}";
    std::string peerUdp = "udp.srcport in {" + PortList(theirs.udp) + "}";
    std::string toSubject = TcpOf(ours);
    // The release as it reached the subject: the peer's end session or Release Complete
    // (whichever came first), or the closed connection.
    std::string release =
        c.release == Release::CalleeKilled && !c.routed
            ? toSubject + " && (tcp.flags.fin == 1 || tcp.flags.reset == 1)"
            : toSubject + " && (q931.message_type == 0x5a || h245.endSessionCommand)";
    std::string options = "-o rtp.heuristic_rtp:TRUE -d udp.port==" + rasPort + ",h225";
    std::string filter = "(" + release + ") || ((" + subjectUdp + " || " + peerUdp +
                         ") && (rtp.ssrc || h225.disengageRequest_element))";
    std::vector<std::string> fields = kProblemFields;
    fields.insert(fields.end(), {"frame.time_epoch", "udp.srcport", "rtp.ssrc",
                                 "h225.disengageRequest_element"});
    struct Frame {
        double t;
        bool fromSubject, fromPeer, release, drq;
        std::string ssrc;
    };
    std::vector<Frame> frames;
    int problems = 0;
    for (const std::vector<std::string> &cols :
         TsharkFields(capture, options + " -Y '" + filter + "'", fields)) {
        double t = Seconds(cols[3]);
        if (t < begin || t > std::max(subjectEnded, releaserEnded))
            continue;
        problems += DecodeProblems(cols);
        uint16_t port = cols[4].empty() ? 0 : uint16_t(std::stoul(cols[4]));
        frames.push_back({t, ours.udp.count(port) > 0 && t <= subjectEnded,
                          theirs.udp.count(port) > 0 && t <= releaserEnded,
                          cols[4].empty() && t <= subjectEnded, !cols[6].empty(), cols[5]});
    }
    // Before the endpoint took them the ports may have served another call: the stream of
    // this call is the one heard most from them while they were surely the endpoint's.
    auto stream = [&](bool subjectSide) {
        double sampled = subjectSide ? oursSampled : theirsSampled;
        std::map<std::string, int> count;
        for (const Frame &f : frames)
            if (!f.ssrc.empty() && (subjectSide ? f.fromSubject : f.fromPeer) && f.t >= sampled)
                count[f.ssrc]++;
        std::pair<std::string, int> most{"", 0};
        for (const auto &entry : count)
            if (entry.second > most.second)
                most = entry;
        most.second = 0;
        for (const Frame &f : frames)
            most.second += !most.first.empty() && f.ssrc == most.first &&
                           (subjectSide ? f.fromSubject : f.fromPeer);
        return most;
    };
    auto [oursSsrc, rtpOurs] = stream(true);
    auto [theirsSsrc, rtpTheirs] = stream(false);
    double started = -1, released = -1, drq = -1, lastRtp = -1;
    int rtpAfter = 0;
    for (const Frame &f : frames) {
        if (!oursSsrc.empty() && f.ssrc == oursSsrc && f.fromSubject && started < 0)
            started = f.t;
        if (started < 0)
            continue;
        if (f.release && released < 0)
            released = f.t;
        else if (released >= 0 && f.ssrc == oursSsrc && f.fromSubject) {
            rtpAfter++;
            lastRtp = f.t;
        } else if (released >= 0 && f.drq && f.fromSubject && drq < 0)
            drq = f.t;
    }
    EXPECT_EQ(problems, 0) << ProblemFrames(capture, options, filter);
    EXPECT_GT(rtpOurs, 10) << "RTP from the subject's " << subjectUdp << ", of " << frames.size()
                           << " frames";
    EXPECT_GT(rtpTheirs, 10) << "RTP from the peer's " << peerUdp << ", of " << frames.size()
                             << " frames";
    ASSERT_GE(released, 0) << "no release reached the subject after its RTP began at "
                           << std::to_string(started) << " (the test began at "
                           << std::to_string(begin) << ", the subject ended at "
                           << std::to_string(subjectEnded) << "): " << filter
                           << "\nthe release frames in the capture:\n"
                           << Shell("tshark -n -r " + capture + " " + options +
                                    " -t e -Y '" + release + "' 2>/dev/null | head -20");
    // One packet time is 20 ms; the bounds leave room for a loaded machine. A call that
    // outlived its release sent media for seconds.
    std::string signalling = "(" + toSubject + " || " + TcpOf(ours, false) +
                             ") && frame.time_epoch >= " + std::to_string(released - 0.1);
    EXPECT_LE(rtpAfter, 10) << "RTP packets after the release, the last "
                            << (lastRtp - released) * 1000 << " ms after it; the signalling:\n"
                            << Shell("tshark -n -r " + capture + " " + options + " -Y '" +
                                     signalling + "' 2>/dev/null | head -30");
    ASSERT_GE(drq, 0) << "no DisengageRequest";
    EXPECT_LT((drq - released) * 1000, 500) << "ms from the release to the DisengageRequest";
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ReleasedCall,
    ::testing::Values(
        ReleaseCase{"directFastTunnelledByCallee", false, {}, Release::ByCallee},
        ReleaseCase{"directFastTunnelledByCaller", false, {}, Release::ByCaller},
        ReleaseCase{"directFastNotTunnelledByCallee", false, {"--no-tunnelling"}, Release::ByCallee},
        ReleaseCase{"directFastNotTunnelledByCaller", false, {"--no-tunnelling"}, Release::ByCaller},
        ReleaseCase{"directH245TunnelledByCallee", false, {"--no-fast-start"}, Release::ByCallee},
        ReleaseCase{"directH245TunnelledByCaller", false, {"--no-fast-start"}, Release::ByCaller},
        ReleaseCase{"directH245NotTunnelledByCallee", false, {"--no-fast-start", "--no-tunnelling"}, Release::ByCallee},
        ReleaseCase{"directH245NotTunnelledByCaller", false, {"--no-fast-start", "--no-tunnelling"}, Release::ByCaller},
        ReleaseCase{"directSeparateH245ByCallee", false, {"--no-fast-start", "--h245-separate"}, Release::ByCallee},
        ReleaseCase{"directSeparateH245ByCaller", false, {"--no-fast-start", "--h245-separate"}, Release::ByCaller},
        ReleaseCase{"directFastNotTunnelledCalleeKilled", false, {"--no-tunnelling"}, Release::CalleeKilled},
        ReleaseCase{"directSeparateH245CalleeKilled", false, {"--no-fast-start", "--h245-separate"}, Release::CalleeKilled},
        ReleaseCase{"routedFastTunnelledByCallee", true, {}, Release::ByCallee},
        ReleaseCase{"routedFastTunnelledByCaller", true, {}, Release::ByCaller},
        ReleaseCase{"routedFastNotTunnelledByCallee", true, {"--no-tunnelling"}, Release::ByCallee},
        ReleaseCase{"routedFastNotTunnelledByCaller", true, {"--no-tunnelling"}, Release::ByCaller},
        ReleaseCase{"routedH245TunnelledByCallee", true, {"--no-fast-start"}, Release::ByCallee},
        ReleaseCase{"routedH245TunnelledByCaller", true, {"--no-fast-start"}, Release::ByCaller},
        ReleaseCase{"routedH245NotTunnelledByCallee", true, {"--no-fast-start", "--no-tunnelling"}, Release::ByCallee},
        ReleaseCase{"routedH245NotTunnelledByCaller", true, {"--no-fast-start", "--no-tunnelling"}, Release::ByCaller},
        ReleaseCase{"routedSeparateH245ByCallee", true, {"--no-fast-start", "--h245-separate"}, Release::ByCallee},
        ReleaseCase{"routedSeparateH245ByCaller", true, {"--no-fast-start", "--h245-separate"}, Release::ByCaller},
        ReleaseCase{"routedFastNotTunnelledCalleeKilled", true, {"--no-tunnelling"}, Release::CalleeKilled},
        ReleaseCase{"routedSeparateH245CalleeKilled", true, {"--no-fast-start", "--h245-separate"}, Release::CalleeKilled}),
    [](const auto &info) { return std::string(info.param.name); });
