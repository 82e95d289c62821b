// Peers that misbehave: garbage, a peer that closes mid-call, one that never speaks H.245.
// The endpoint neither crashes nor hangs, and stays usable.
#include "raw_peer.h"
#include "stack_support.h"

#include <h323/asn1/gen/h225.h>
#include <h323/asn1/gen/h245.h>
#include <h323/asn1/per.h>
#include <h323/caps/capabilities.h>
#include <h323/pdu/identifiers.h>
#include <h323/callsig/signal_pdu.h>
#include <h323/transports/listener_tcp.h>
#include <h323/transports/transport_tcp.h>
#include <pwlib/ptcpsocket.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

using namespace stacktest;
using R = H323CallEndReasons;

namespace {

using Pdu = H245_MultimediaSystemControlMessage;

/// The far end of a separate H.245 channel, answering only what its script says.
class ScriptedControlPeer
{
  public:
    explicit ScriptedControlPeer(H323EndPoint &ep) : endpoint(ep)
    {
        EXPECT_TRUE(listener.Listen(PIPSocket::Address(127, 0, 0, 1), 1));
    }
    ~ScriptedControlPeer()
    {
        if (transport)
            transport->Close();
        if (reader.joinable())
            reader.join();
    }
    WORD Port() const { return listener.GetPort(); }

    /// What the peer answers; nothing else ever.
    struct Script {
        bool capabilities = true; ///< acks the capability set and sends its own
        bool masterSlave = true;  ///< acks master/slave determination
    };

    /// Accepts the caller's channel and reads it on a thread, answering as script says.
    void Run(Script script)
    {
        PTCPSocket *socket = new PTCPSocket;
        listener.SetReadTimeout(5000);
        ASSERT_TRUE(socket->Accept(listener));
        transport.reset(new H323TransportTCP(endpoint));
        transport->Open(socket, TRUE);
        reader = std::thread([this, script] { Read(script); });
    }

    /// Waits (at most timeoutMs) for a received PDU that pred accepts; a copy of it.
    std::optional<Pdu> WaitFor(std::function<bool(const Pdu &)> pred, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(mutex);
        std::optional<Pdu> found;
        cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (const Pdu &p : received)
                if (pred(p)) {
                    found = p;
                    return true;
                }
            return false;
        });
        return found;
    }
    /// Waits (at most timeoutMs) for n received PDUs that pred accepts; those found.
    std::vector<Pdu> WaitForCount(std::function<bool(const Pdu &)> pred, size_t n,
                                  int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(mutex);
        std::vector<Pdu> found;
        cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            found.clear();
            for (const Pdu &p : received)
                if (pred(p) && found.size() < n)
                    found.push_back(p);
            return found.size() == n;
        });
        return found;
    }

  private:
    void Read(Script script)
    {
        PBYTEArray data;
        while (transport->ReadPDU(data)) {
            Pdu pdu;
            if (!asn1::decode(data.GetPointer(), size_t(data.GetSize()), pdu))
                continue;
            if (pdu.GetTag() == Pdu::e_request)
                Answer(pdu.request(), script);
            std::lock_guard<std::mutex> lock(mutex);
            received.push_back(pdu);
            cond.notify_all();
        }
    }
    void Answer(const H245_RequestMessage &req, Script script)
    {
        Pdu reply;
        if (req.GetTag() == H245_RequestMessage::e_terminalCapabilitySet && script.capabilities) {
            reply.response().terminalCapabilitySetAck().m_sequenceNumber =
                req.terminalCapabilitySet().m_sequenceNumber;
            Write(reply);
            // Ours: G.711 µ-law, so that the caller opens a channel.
            Pdu own;
            H245_TerminalCapabilitySet &tcs = own.request().terminalCapabilitySet();
            tcs.m_sequenceNumber = 1;
            tcs.m_protocolIdentifier = h323::H245ProtocolIdentifier();
            H323Capabilities caps;
            caps.SetCapability(0, P_MAX_INDEX, new H323_G711Capability(H323_G711Capability::muLaw));
            caps.BuildPDU(tcs);
            Write(own);
        } else if (req.GetTag() == H245_RequestMessage::e_masterSlaveDetermination &&
                   script.masterSlave) {
            reply.response().masterSlaveDeterminationAck().m_decision.SetTag(
                H245_MasterSlaveDeterminationAck_decision::e_master);
            Write(reply);
        }
    }
    void Write(const Pdu &pdu)
    {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(asn1::encode(pdu, bytes));
        transport->WritePDU(PBYTEArray(bytes.data(), PINDEX(bytes.size())));
    }

    H323EndPoint &endpoint;
    PTCPSocket listener;
    std::unique_ptr<H323TransportTCP> transport;
    std::thread reader;
    std::mutex mutex;
    std::condition_variable cond;
    std::vector<Pdu> received;
};

bool IsRequest(const Pdu &p, unsigned tag)
{
    return p.GetTag() == Pdu::e_request && p.request().GetTag() == tag;
}
bool IsIndication(const Pdu &p, unsigned tag)
{
    return p.GetTag() == Pdu::e_indication && p.indication().GetTag() == tag;
}

/// A caller without fast start or tunnelling, whose H.245 requests time out after 300 ms;
/// the media time-out stays far off.
void PrepareSeparateH245Caller(TestEndPoint &caller)
{
    caller.DisableFastStart(TRUE);
    caller.DisableH245Tunneling(TRUE);
    caller.SetControlChannelRequestTimeout(300);
    caller.SetNoMediaTimeout(PTimeInterval(0, 30));
    caller.SetEndSessionTimeout(200); // the silent peer never ends its session
}

std::vector<BYTE> Random(std::mt19937 &rng, size_t n)
{
    std::vector<BYTE> v(n);
    for (BYTE &b : v)
        b = BYTE(rng());
    return v;
}

} // namespace

TEST(BadPeers, GarbageOnTheListenerIsDroppedAndCallsStillWork)
{
    TestEndPoint callee("bob");
    PIPSocket::Address ip;
    WORD port;
    ASSERT_TRUE(H323TransportAddress(callee.Address()).GetIpAndPort(ip, port));
    std::mt19937 rng(42);
    std::vector<std::vector<BYTE>> junk = {
        Random(rng, 300),                             // no TPKT at all
        {3, 0, 0, 12, 1, 2, 3, 4, 5, 6, 7, 8},       // TPKT around no Q.931
        {3, 0, 0, 9, 8, 2, 0, 1, 0x7b},              // Q.931 that is no Setup
        {3, 0, 0, 14, 8, 2, 0, 1, 5, 0x7e, 0, 3, 5, 0xff}, // a Setup with a broken UUIE
        {3, 0, 0xff, 0xff, 8},                        // a frame that never completes
    };
    for (const auto &bytes : junk) {
        PTCPSocket peer(port);
        ASSERT_TRUE(peer.Connect(ip));
        peer.Write(bytes.data(), PINDEX(bytes.size()));
        if (bytes.size() > 5) {
            // The endpoint closes the connection (or answers a bad Setup and closes).
            BYTE buf[512];
            peer.SetReadTimeout(H323ListenerTCP::FirstPDUTimeout + 2000);
            while (peer.Read(buf, sizeof(buf))) {
            }
        }
    }
    TestEndPoint caller("alice");
    ASSERT_FALSE(caller.Call(callee.Address()).IsEmpty());
    EXPECT_FALSE(caller.events.WaitFor("established").empty());
}

TEST(BadPeers, PeerClosingMidCallEndsTheCallAsTransportFailure)
{
    TestEndPoint caller("alice");
    RawCallee peer(caller);
    ASSERT_FALSE(caller.Call(peer.Address()).IsEmpty());
    unsigned ref = peer.AcceptSetup();
    ASSERT_NE(ref, 0u);
    peer.Send(ref, Q931::AlertingMsg);
    ASSERT_FALSE(caller.events.WaitFor("alerting").empty());
    peer.Close();
    EXPECT_EQ(WaitCleared(caller, 3000), R::EndedByTransportFail);
}

TEST(BadPeers, PeerThatNeverSpeaksH245IsClearedAfterTheMediaTimeOut)
{
    TestEndPoint caller("alice");
    caller.DisableFastStart(TRUE);
    caller.SetNoMediaTimeout(300);
    RawCallee peer(caller);
    ASSERT_FALSE(caller.Call(peer.Address()).IsEmpty());
    unsigned ref = peer.AcceptSetup();
    ASSERT_NE(ref, 0u);
    peer.Send(ref, Q931::CallProceedingMsg);
    peer.Send(ref, Q931::ConnectMsg);
    std::thread drain([&] { peer.Drain(); });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitCleared(caller, 5000), R::EndedByCapabilityExchange);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    peer.Close();
    drain.join();
}

TEST(BadPeers, GarbageFramesDuringACallAreDropped)
{
    TestEndPoint caller("alice");
    caller.DisableFastStart(TRUE);
    RawCallee peer(caller);
    PString token = caller.Call(peer.Address());
    unsigned ref = peer.AcceptSetup();
    ASSERT_NE(ref, 0u);
    peer.Send(ref, Q931::ConnectMsg);
    std::mt19937 rng(7);
    for (int i = 0; i < 50; i++) {
        std::vector<BYTE> body = Random(rng, 1 + rng() % 200);
        std::vector<BYTE> frame = {3, 0, BYTE((body.size() + 4) >> 8), BYTE(body.size() + 4)};
        frame.insert(frame.end(), body.begin(), body.end());
        peer.SendRaw(frame);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(caller.HasConnection(token));
    EXPECT_FALSE(caller.events.Has("cleared"));
    caller.ClearCall(token);
    std::thread drain([&] { peer.Drain(); });
    EXPECT_EQ(WaitCleared(caller), R::EndedByLocalUser);
    peer.Close();
    drain.join();
}

TEST(BadPeers, UnansweredSetUpRequestOnASeparateH245ChannelIsReleasedAndClearsTheCall)
{
    using I = H245_IndicationMessage;
    struct Case {
        const char *name;
        ScriptedControlPeer::Script script;
        unsigned release; ///< the indication that releases the unanswered request
    };
    const Case cases[] = {
        {"silent", {false, false}, I::e_terminalCapabilitySetRelease},
        {"no master/slave answer", {true, false}, I::e_masterSlaveDeterminationRelease},
        {"no capability answer", {false, true}, I::e_terminalCapabilitySetRelease},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestEndPoint caller("alice");
        PrepareSeparateH245Caller(caller);
        RawCallee peer(caller);
        ScriptedControlPeer control(caller);
        ASSERT_FALSE(caller.Call(peer.Address()).IsEmpty());
        unsigned ref = peer.AcceptSetup();
        ASSERT_NE(ref, 0u);
        peer.SendConnectWithH245(ref, control.Port());
        control.Run(c.script);
        std::thread drain([&] { peer.Drain(); });
        // Well before the media time-out: the request released, then the end session.
        unsigned release = c.release;
        EXPECT_TRUE(control.WaitFor(
            [release](const Pdu &p) { return IsIndication(p, release); }, 3000));
        EXPECT_TRUE(control.WaitFor(
            [](const Pdu &p) {
                return p.GetTag() == Pdu::e_command &&
                       p.command().GetTag() == H245_CommandMessage::e_endSessionCommand;
            },
            3000));
        EXPECT_EQ(WaitCleared(caller, 10000), R::EndedByCapabilityExchange);
        peer.Close();
        drain.join();
    }
}

TEST(BadPeers, UnansweredChannelOpenIsClosedAndRoundTripsGoOnWithoutClearing)
{
    TestEndPoint caller("alice");
    PrepareSeparateH245Caller(caller);
    caller.SetRoundTripDelayRate(100);
    RawCallee peer(caller);
    ScriptedControlPeer control(caller);
    PString token = caller.Call(peer.Address());
    unsigned ref = peer.AcceptSetup();
    ASSERT_NE(ref, 0u);
    peer.SendConnectWithH245(ref, control.Port());
    control.Run({});
    std::thread drain([&] { peer.Drain(); });
    using Q = H245_RequestMessage;
    auto olc = control.WaitFor([](const Pdu &p) { return IsRequest(p, Q::e_openLogicalChannel); });
    ASSERT_TRUE(olc);
    unsigned number = unsigned(olc->request().openLogicalChannel().m_forwardLogicalChannelNumber);
    auto clc = control.WaitFor([](const Pdu &p) { return IsRequest(p, Q::e_closeLogicalChannel); });
    ASSERT_TRUE(clc);
    EXPECT_EQ(unsigned(clc->request().closeLogicalChannel().m_forwardLogicalChannelNumber), number);
    EXPECT_EQ(clc->request().closeLogicalChannel().m_source.GetTag(),
              unsigned(H245_CloseLogicalChannel_source::e_lcse));
    // Round-trip requests keep coming unanswered, each numbered anew, and the call stays up.
    std::vector<Pdu> rtds = control.WaitForCount(
        [](const Pdu &p) { return IsRequest(p, Q::e_roundTripDelayRequest); }, 3);
    ASSERT_EQ(rtds.size(), 3u);
    EXPECT_NE(rtds[0].request().roundTripDelayRequest().m_sequenceNumber,
              rtds[1].request().roundTripDelayRequest().m_sequenceNumber);
    EXPECT_NE(rtds[1].request().roundTripDelayRequest().m_sequenceNumber,
              rtds[2].request().roundTripDelayRequest().m_sequenceNumber);
    EXPECT_TRUE(caller.HasConnection(token));
    EXPECT_FALSE(caller.events.Has("cleared"));
    caller.ClearCall(token);
    EXPECT_EQ(WaitCleared(caller), R::EndedByLocalUser);
    peer.Close();
    drain.join();
}
