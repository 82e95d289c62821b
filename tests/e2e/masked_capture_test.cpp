// Whole calls between two masked phone cores through the masked simulator, captured on the
// loopback interface: nothing on the wire is plain H.323 or RTP, and the capture unmasked by
// the masking rules (datagrams by the datagram rule, TCP streams as TPKT) decodes in tshark.
#include "capture.h"
#include "pcap_file.h"
#include "phone_core.h"

#include <tools/masking/masking.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <thread>

using namespace e2e;

namespace
{

double Now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

/// The sockets of the call's processes, watched while they run: other tests take the same
/// ports before and after them (media ports above all, which every phone takes from one range).
class CallPorts
{
  public:
    explicit CallPorts(std::vector<int> pids, std::set<uint16_t> gatekeeperPorts)
        : pids(std::move(pids)), gatekeeper(std::move(gatekeeperPorts)), start(Now())
    {
        watcher = std::thread([this] {
            while (!stopping) {
                Poll();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~CallPorts() { Stop(); }
    /** Ends the watch: the processes have exited. */
    void Stop()
    {
        stopping = true;
        if (watcher.joinable())
            watcher.join();
        end = Now();
    }

    /// A frame of the call: at a TCP listener of its processes or the gatekeeper's RAS port,
    /// or a datagram between two of their ports while both were theirs.
    bool Holds(const Segment &s, double when) const
    {
        if (when < start || when > end)
            return false;
        if (s.tcp)
            return listening.count(s.srcPort) != 0 || listening.count(s.dstPort) != 0;
        if (gatekeeper.count(s.srcPort) != 0 || gatekeeper.count(s.dstPort) != 0)
            return true;
        auto held = [&](uint16_t port) {
            auto it = udp.find(port);
            return it != udp.end() && when >= it->second.first && when <= it->second.second;
        };
        return held(s.srcPort) && held(s.dstPort);
    }
    /** Every datagram port seen, gatekeeper's included. */
    std::set<uint16_t> DatagramPorts() const
    {
        std::set<uint16_t> out = gatekeeper;
        for (const auto &[port, window] : udp)
            out.insert(port);
        return out;
    }

  private:
    /// A port seen in a read of the process's sockets was theirs from the end of that read at
    /// the latest (another process may have sent from it just before they took it) and until
    /// its start at least.
    void Poll()
    {
        for (int pid : pids) {
            double before = Now();
            SocketPorts p = PortsOf(pid);
            double after = Now();
            listening.insert(p.tcpListening.begin(), p.tcpListening.end());
            for (uint16_t port : p.udp) {
                auto [it, fresh] = udp.try_emplace(port, after, before);
                it->second.second = before;
            }
        }
    }

    std::vector<int> pids;
    std::set<uint16_t> gatekeeper;
    double start, end = 1e300;
    std::set<uint16_t> listening;
    std::map<uint16_t, std::pair<double, double>> udp; ///< from when until when surely theirs
    std::atomic<bool> stopping{false};
    std::thread watcher;
};

/// One direction of a TCP connection, in sequence order.
struct Stream {
    std::vector<uint8_t> bytes;
    uint32_t next = 0;
    bool started = false;
    bool gap = false; ///< a segment the capture missed: the stream cannot be walked
    void Add(const uint8_t *data, const Segment &s)
    {
        if (!started) {
            started = true;
            next = s.seq;
        }
        if (int32_t(s.seq - next) > 0) {
            gap = true;
            return;
        }
        uint32_t skip = next - s.seq; // retransmitted bytes already in the stream
        if (skip >= s.payloadSize)
            return;
        bytes.insert(bytes.end(), data + skip, data + s.payloadSize);
        next = s.seq + uint32_t(s.payloadSize);
    }
};

/// The TPKT frames of an unmasked stream read as the TCP transport reads them: version 3, a
/// length of at least 4, each frame whole. The frames, or -1 where the walk fails.
int TpktFrames(const std::vector<uint8_t> &stream)
{
    int frames = 0;
    for (size_t at = 0; at < stream.size(); frames++) {
        if (at + 4 > stream.size() || stream[at] != 3)
            return -1;
        size_t length = size_t(stream[at + 2]) << 8 | stream[at + 3];
        if (length < 4 || at + length > stream.size())
            return -1;
        at += length;
    }
    return frames;
}

std::string PortList(const char *transport, const std::set<uint16_t> &ports, const char *as)
{
    std::string out;
    for (uint16_t p : ports)
        out += std::string(" -d ") + transport + ".port==" + std::to_string(p) + "," + as;
    return out;
}

struct MaskedCase {
    const char *name;
    std::vector<std::string> simArgs;
    std::vector<std::string> expect; ///< more fields the unmasked capture must show
    const char *simReady; ///< a line of the simulator naming the callee, before the call
};

void PrintTo(const MaskedCase &c, std::ostream *os) { *os << c.name; }

class MaskedCall : public ::testing::TestWithParam<MaskedCase>
{
};

} // namespace

TEST_P(MaskedCall, NothingOnTheWireIsPlainAndUnmaskedItDecodes)
{
    const MaskedCase &c = GetParam();
    std::string unavailable = CaptureUnavailable();
    if (!unavailable.empty())
        GTEST_SKIP() << unavailable;
    std::string tone = TempPath(std::string("masked-tone-") + c.name + ".wav");
    std::string recording = TempPath(std::string("masked-recording-") + c.name + ".wav");
    WriteTone(tone, 500, 8);

    std::string wire = TempPath(std::string("masked-") + c.name + ".pcap");
    LoopbackCapture capture(wire, true);
    std::vector<std::string> simArgs = {"--masking"};
    simArgs.insert(simArgs.end(), c.simArgs.begin(), c.simArgs.end());
    Simulator sim(simArgs);
    PhoneCore caller("caller", {"--play", tone});
    PhoneCore callee("callee", {"--record", recording});
    std::string rasPort = sim.Gatekeeper().substr(sim.Gatekeeper().find(':') + 1);
    uint16_t gatekeeperPort = uint16_t(std::stoi(rasPort));
    CallPorts ports({sim.process().Pid(), caller.Pid(), callee.Pid()}, {gatekeeperPort});
    caller.Register(sim, "8001");
    callee.Register(sim, "8002");
    ASSERT_FALSE(caller.WaitFor("MSG GK_REGISTERED").empty());
    ASSERT_FALSE(callee.WaitFor("MSG GK_REGISTERED").empty());
    if (c.simReady != nullptr) {
        const std::string ready = c.simReady + sim.EndpointId("8002");
        ASSERT_FALSE(sim.process().WaitFor(ready).empty()) << ready;
    }
    caller.Send("call 8002");
    ASSERT_FALSE(callee.WaitFor("MSG RINGING_IN").empty());
    callee.Send("answer");
    ASSERT_FALSE(caller.WaitFor("MSG CONNECTED").empty());
    ASSERT_FALSE(callee.WaitFor("MSG CONNECTED").empty());
    EXPECT_EQ(callee.WaitFor("CODEC"), "CODEC G.723.1{sw} G.723.1{sw}");
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    caller.Send("hangup");
    EXPECT_EQ(caller.WaitFor("MSG CLEARED"), "MSG CLEARED 0 0");
    EXPECT_EQ(callee.WaitFor("MSG CLEARED"), "MSG CLEARED 3 1");
    // Both unregister on the way out.
    caller.Send("quit");
    callee.Send("quit");
    EXPECT_FALSE(caller.WaitFor("EXITED").empty());
    EXPECT_FALSE(callee.WaitFor("EXITED").empty());
    ports.Stop();
    capture.Stop();
    // Both sides masked held the call: the caller's tone reached the callee.
    EXPECT_GT(AnalyseTone(recording, 500).toneSeconds, 1.5);

    PcapFile file;
    ASSERT_EQ(ReadPcap(wire, file), "");
    PcapFile masked{file.header, {}}, unmasked{file.header, {}};
    std::map<std::pair<uint16_t, uint16_t>, Stream> streams;
    int plainTpkt = 0, tcpPayloads = 0, datagrams = 0;
    for (const PcapFile::Frame &frame : file.frames) {
        std::optional<Segment> s = ParseSegment(frame.data);
        if (!s || !ports.Holds(*s, FrameTime(file, frame)))
            continue;
        masked.frames.push_back(frame);
        PcapFile::Frame plain = frame;
        uint8_t *payload = plain.data.data() + s->payload;
        if (s->tcp) {
            if (s->payloadSize > 0) {
                tcpPayloads++;
                plainTpkt += s->payloadSize >= 2 && payload[0] == 3 && payload[1] == 0;
            }
            toolmask::MaskStream(payload, payload, s->payloadSize);
            if (s->payloadSize > 0)
                streams[{s->srcPort, s->dstPort}].Add(payload, *s);
        } else {
            datagrams++;
            toolmask::MaskDatagram(payload, payload, s->payloadSize);
            plain.data[s->header + 6] = plain.data[s->header + 7] = 0; // no UDP checksum
        }
        unmasked.frames.push_back(plain);
    }
    EXPECT_GT(tcpPayloads, 0);
    EXPECT_GT(datagrams, 0);
    EXPECT_EQ(plainTpkt, 0) << "TCP payloads that start as a plain TPKT header";
    int walked = 0;
    for (const auto &[key, stream] : streams) {
        if (stream.gap)
            continue;
        walked++;
        EXPECT_GT(TpktFrames(stream.bytes), 0)
            << "unmasked stream " << key.first << " -> " << key.second << " is not TPKT";
    }
    EXPECT_GT(walked, 0) << "TCP streams captured whole";

    std::string maskedFile = TempPath(std::string("masked-") + c.name + "-ours.pcap");
    std::string unmaskedFile = TempPath(std::string("unmasked-") + c.name + ".pcap");
    ASSERT_TRUE(WritePcap(maskedFile, masked));
    ASSERT_TRUE(WritePcap(unmaskedFile, unmasked));

    // The phones' RAS sockets are the ones that talk to the gatekeeper's port; every other
    // datagram port of the call carries media.
    std::set<uint16_t> media = ports.DatagramPorts();
    media.erase(gatekeeperPort);
    for (const PcapFile::Frame &frame : masked.frames) {
        std::optional<Segment> s = ParseSegment(frame.data);
        if (!s->tcp && (s->srcPort == gatekeeperPort || s->dstPort == gatekeeperPort))
            media.erase(s->srcPort == gatekeeperPort ? s->dstPort : s->srcPort);
    }
    std::string decodeAs = " -d udp.port==" + rasPort + ",h225" + PortList("udp", media, "rtp");

    // Masked, even read as RAS and RTP on those ports, nothing is call signalling, H.245, a RAS
    // message that decodes, or RTP.
    int plain = 0;
    for (const std::vector<std::string> &cols : TsharkFields(
             maskedFile, decodeAs,
             {"frame.protocols", "h225.RasMessage", "_ws.malformed", "rtp.seq", "rtcp.pt"})) {
        bool signalling =
            cols[0].find("q931") != std::string::npos || cols[0].find("h245") != std::string::npos;
        bool ras = !cols[1].empty() && cols[2].empty();
        plain += signalling || ras || !cols[3].empty() || !cols[4].empty();
    }
    EXPECT_EQ(plain, 0) << Shell("tshark -n -r " + maskedFile + decodeAs +
                                 " -Y 'q931 || h245 || (h225.RasMessage && !_ws.malformed) || "
                                 "rtp.seq || rtcp.pt' 2>&1 | head");

    // Unmasked, tshark decodes RAS, call signalling, H.245 and RTP without a malformed packet.
    std::vector<std::string> fields = kProblemFields;
    fields.insert(fields.end(), {"rtp.p_type", "q931.message_type", "q931.call_ref"});
    std::vector<std::string> expect = {"h225.registrationRequest_element",
                                       "h225.registrationConfirm_element",
                                       "h225.admissionRequest_element",
                                       "h225.admissionConfirm_element",
                                       "h225.disengageRequest_element",
                                       "h225.unregistrationRequest_element",
                                       "h225.setup_element",
                                       "h225.alerting_element",
                                       "h225.connect_element",
                                       "h225.releaseComplete_element",
                                       "h245.terminalCapabilitySet_element"};
    expect.insert(expect.end(), c.expect.begin(), c.expect.end());
    fields.insert(fields.end(), expect.begin(), expect.end());
    std::vector<int> seen(fields.size(), 0);
    int problems = 0, g7231 = 0;
    for (const std::vector<std::string> &cols : TsharkFields(unmaskedFile, decodeAs, fields)) {
        // The NAT link's announcement (an Information of call reference 0) carries the
        // endpoint identifier as plain bytes where tshark looks for a Q.932 facility.
        bool announcement = cols[4] == "0x7b" && cols[5] == "0000";
        problems += announcement ? 0 : DecodeProblems(cols);
        g7231 += cols[3] == "4";
        for (size_t i = 0; i < fields.size(); i++)
            seen[i] += !cols[i].empty();
    }
    EXPECT_EQ(problems, 0) << ProblemFrames(
        unmaskedFile, decodeAs, "!(q931.message_type == 0x7b && q931.call_ref == 00:00)");
    EXPECT_GT(g7231, 30) << "G.723.1 RTP packets of " << seen[3];
    for (size_t i = 6; i < fields.size(); i++)
        EXPECT_GT(seen[i], 0) << fields[i];
}

INSTANTIATE_TEST_SUITE_P(Calls, MaskedCall,
                         ::testing::Values(MaskedCase{"direct", {}, {}, nullptr},
                                           // The callee's announcement on its link, then
                                           // the call.
                                           MaskedCase{"natLink",
                                                      {"--nat-hint"},
                                                      {"q931.call_state"},
                                                      "nat: announcement from "}),
                         [](const auto &info) { return std::string(info.param.name); });
