// Transports: TPKT framing over TCP with and without the traffic hook, the masking rules
// on the wire, bad frames, and RAS datagrams.
#include <h323/transports/transport_tcp.h>
#include <h323/transports/transport_udp.h>
#include <h323/transports/traffic_hook.h>
#include <pwlib/ptcpsocket.h>
#include <pwlib/pudpsocket.h>
#include <tools/masking/masking.h>

#include "stack_support.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

/// A connected pair: a transport on one end, a raw socket on the other.
struct Pair {
    explicit Pair(H323EndPoint &ep) : transport(ep)
    {
        EXPECT_TRUE(listener.Listen(PIPSocket::Address(127, 0, 0, 1), 1));
        std::thread accept([this] { EXPECT_TRUE(raw.Accept(listener)); });
        transport.SetRemoteAddress(psprintf("127.0.0.1:%u", listener.GetPort()));
        EXPECT_TRUE(transport.Connect());
        accept.join();
        raw.SetReadTimeout(2000);
        transport.SetReadTimeout(2000);
    }
    PTCPSocket listener;
    PTCPSocket raw;
    H323TransportTCP transport;
};

struct HookGuard {
    explicit HookGuard(const H323TrafficHook *hook) { H323SetTrafficHook(hook); }
    ~HookGuard() { H323SetTrafficHook(nullptr); }
};

toolmask::MaskingHook masking;

} // namespace

TEST(TransportTCP, WritesTpktFramesPlainAndMasked)
{
    stacktest::TestEndPoint ep("t");
    for (bool masked : {false, true}) {
        HookGuard guard(masked ? &masking : nullptr);
        Pair p(ep);
        const BYTE body[] = {1, 2, 3, 4};
        ASSERT_TRUE(p.transport.WritePDU(PBYTEArray(body, 4)));
        BYTE wire[8];
        ASSERT_TRUE(p.raw.ReadBlock(wire, 8));
        const BYTE plain[] = {3, 0, 0, 8, 1, 2, 3, 4};
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(wire[i], masked ? BYTE(plain[i] ^ 0xB4) : plain[i]) << "byte " << i;
        // What goes back the same way reads as it was sent.
        ASSERT_TRUE(p.raw.Write(wire, 8));
        PBYTEArray got;
        ASSERT_TRUE(p.transport.ReadPDU(got));
        EXPECT_EQ(got, PBYTEArray(body, 4));
    }
}

TEST(TransportTCP, BadFramesFailWithProtocolError)
{
    stacktest::TestEndPoint ep("t");
    struct Case {
        const char *name;
        std::vector<BYTE> bytes;
        bool masked;
    } cases[] = {
        {"version 2", {2, 0, 0, 8, 0, 0, 0, 0}, false},
        {"length below 4", {3, 0, 0, 3}, false},
        {"unmasked frame on a masked transport", {3, 0, 0, 5, 0}, true},
    };
    for (const Case &c : cases) {
        HookGuard guard(c.masked ? &masking : nullptr);
        Pair p(ep);
        ASSERT_TRUE(p.raw.Write(c.bytes.data(), PINDEX(c.bytes.size())));
        PBYTEArray got;
        EXPECT_FALSE(p.transport.ReadPDU(got)) << c.name;
        EXPECT_EQ(p.transport.GetErrorCode(PChannel::LastReadError), PChannel::ProtocolFailure) << c.name;
    }
}

TEST(TransportTCP, TruncatedBodyTimesOutInsteadOfHanging)
{
    stacktest::TestEndPoint ep("t");
    Pair p(ep);
    p.transport.SetReadTimeout(PMaxTimeInterval);
    const BYTE partial[] = {3, 0, 0, 20, 1, 2};
    ASSERT_TRUE(p.raw.Write(partial, 6));
    auto start = std::chrono::steady_clock::now();
    PBYTEArray got;
    EXPECT_FALSE(p.transport.ReadPDU(got));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(7));
}

TEST(TransportTCP, OpensOnAConnectedSocket)
{
    stacktest::TestEndPoint ep("t");
    PTCPSocket listener;
    ASSERT_TRUE(listener.Listen(PIPSocket::Address(127, 0, 0, 1), 1));
    PTCPSocket *client = new PTCPSocket(listener.GetPort());
    std::thread connect([&] { EXPECT_TRUE(client->Connect(PIPSocket::Address(127, 0, 0, 1))); });
    PTCPSocket server;
    ASSERT_TRUE(server.Accept(listener));
    connect.join();
    H323TransportTCP transport(ep);
    ASSERT_TRUE(transport.Open(client, TRUE));
    EXPECT_FALSE(transport.GetRemoteAddress().IsEmpty());
    const BYTE body[] = {9};
    ASSERT_TRUE(transport.WritePDU(PBYTEArray(body, 1)));
    BYTE wire[5];
    ASSERT_TRUE(server.ReadBlock(wire, 5));
    EXPECT_EQ(wire[4], 9);
}

TEST(Masking, DatagramRuleByPosition)
{
    struct Case {
        std::vector<BYTE> in, out;
    } cases[] = {
        {{0x00}, {0x1D}},                                   // the only byte is the last
        {{0, 0, 0, 0}, {0xE6, 0x1D, 0xE6, 0x1D}},           // even, odd, even, odd
        {{0, 0, 0, 0, 0}, {0xE6, 0x1D, 0xE6, 0x1D, 0x1D}}, // the last byte takes the odd mask
    };
    for (const Case &c : cases) {
        std::vector<BYTE> out(c.in.size()), back(c.in.size());
        toolmask::MaskDatagram(c.in.data(), out.data(), out.size());
        EXPECT_EQ(out, c.out);
        toolmask::MaskDatagram(out.data(), back.data(), back.size());
        EXPECT_EQ(back, c.in);
    }
}

TEST(TransportUDP, DatagramsThroughTheHookAndOnlyFromTheRemote)
{
    stacktest::TestEndPoint ep("t");
    HookGuard guard(&masking);
    H323TransportUDP transport(ep, PIPSocket::Address(127, 0, 0, 1));
    PUDPSocket peer, stranger;
    ASSERT_TRUE(peer.Listen(PIPSocket::Address(127, 0, 0, 1)));
    ASSERT_TRUE(transport.SetRemoteAddress(psprintf("127.0.0.1:%u", peer.GetPort())));
    PIPSocket::Address ip;
    WORD port;
    ASSERT_TRUE(transport.GetLocalAddress().GetIpAndPort(ip, port));

    const BYTE plain[] = {1, 2, 3};
    ASSERT_TRUE(transport.WritePDU(PBYTEArray(plain, 3)));
    BYTE wire[16];
    PIPSocket::Address from;
    WORD fromPort;
    peer.SetReadTimeout(2000);
    ASSERT_TRUE(peer.ReadFrom(wire, sizeof(wire), from, fromPort));
    ASSERT_EQ(peer.GetLastReadCount(), 3);
    EXPECT_EQ(wire[0], 1 ^ 0xE6);
    EXPECT_EQ(wire[1], 2 ^ 0x1D);
    EXPECT_EQ(wire[2], 3 ^ 0x1D);

    BYTE other[] = {0x55};
    stranger.WriteTo(other, 1, PIPSocket::Address(127, 0, 0, 1), port); // ignored
    peer.WriteTo(wire, 3, PIPSocket::Address(127, 0, 0, 1), port);
    transport.SetReadTimeout(2000);
    PBYTEArray got;
    ASSERT_TRUE(transport.ReadPDU(got));
    EXPECT_EQ(got, PBYTEArray(plain, 3));
}

TEST(TransportUDP, TheRasPortIsNotSharedWithAnotherSocket)
{
    // A second socket on the port would take the gatekeeper's replies meant for the first.
    stacktest::TestEndPoint ep("t");
    H323TransportUDP first(ep, PIPSocket::Address(127, 0, 0, 1));
    PIPSocket::Address ip;
    WORD port = 0;
    ASSERT_TRUE(first.GetLocalAddress().GetIpAndPort(ip, port));
    H323TransportUDP second(ep, PIPSocket::Address(127, 0, 0, 1), port);
    EXPECT_FALSE(second.IsOpen());
}
