// Peers that misbehave: garbage, a peer that closes mid-call, one that never speaks H.245.
// The endpoint neither crashes nor hangs, and stays usable.
#include "stack_support.h"

#include <h323/asn1/gen/h225.h>
#include <h323/callsig/signal_pdu.h>
#include <h323/transports/listener_tcp.h>
#include <h323/transports/transport_tcp.h>
#include <pwlib/ptcpsocket.h>

#include <gtest/gtest.h>

#include <random>
#include <thread>

using namespace stacktest;
using R = H323CallEndReasons;

namespace {

/// A hand-driven called party on its own port.
class RawCallee
{
  public:
    explicit RawCallee(H323EndPoint &ep) : endpoint(ep)
    {
        EXPECT_TRUE(listener.Listen(PIPSocket::Address(127, 0, 0, 1), 1));
    }
    PString Address() const { return psprintf("ip$127.0.0.1:%u", listener.GetPort()); }
    /// Accepts the call and reads its Setup; the call reference or 0.
    unsigned AcceptSetup()
    {
        PTCPSocket *socket = new PTCPSocket;
        listener.SetReadTimeout(5000);
        if (!socket->Accept(listener)) {
            delete socket;
            return 0;
        }
        transport.reset(new H323TransportTCP(endpoint));
        transport->Open(socket, TRUE);
        transport->SetReadTimeout(5000);
        H323SignalPDU setup;
        if (!setup.Read(*transport) || setup.GetQ931().GetMessageType() != Q931::SetupMsg)
            return 0;
        return setup.GetQ931().GetCallReference();
    }
    /// Sends a message built for a connection answering callReference.
    void Send(unsigned callReference, Q931::MsgTypes type)
    {
        H323Connection as(endpoint, callReference);
        H323SignalPDU pdu;
        switch (type) {
        case Q931::CallProceedingMsg:
            pdu.BuildCallProceeding(as);
            break;
        case Q931::AlertingMsg:
            pdu.BuildAlerting(as);
            break;
        default:
            pdu.BuildConnect(as);
            break;
        }
        EXPECT_TRUE(pdu.Write(*transport));
    }
    void SendRaw(const std::vector<BYTE> &bytes) { transport->Write(bytes.data(), PINDEX(bytes.size())); }
    /// Reads and drops whatever comes, until the caller closes.
    void Drain()
    {
        PBYTEArray data;
        while (transport->ReadPDU(data)) {
        }
    }
    void Close() { transport->Close(); }

  private:
    H323EndPoint &endpoint;
    PTCPSocket listener;
    std::unique_ptr<H323TransportTCP> transport;
};

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
