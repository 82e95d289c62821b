// Traffic masking: the datagram and stream rules, and the bytes the stack's TCP transport, RAS
// transport and RTP sessions put on the wire with the switch on and off.
#include <core/traffic_masking.h>

#include <h323/endpoint/endpoint.h>
#include <h323/rtp/rtp_frame.h>
#include <h323/rtp/rtp_session.h>
#include <h323/transports/traffic_hook.h>
#include <h323/transports/transport_tcp.h>
#include <h323/transports/transport_udp.h>

#include <pwlib/ptcpsocket.h>
#include <pwlib/pudpsocket.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace
{

using Bytes = std::vector<BYTE>;

Bytes Datagram(const Bytes &in)
{
    Bytes out(in.size());
    MaskDatagram(in.data(), out.data(), out.size());
    return out;
}

/// The rule written out byte by byte.
Bytes ReferenceDatagram(const Bytes &in)
{
    Bytes out(in);
    for (size_t i = 0; i < out.size(); i++)
        out[i] ^= (i % 2 == 1 || i + 1 == out.size()) ? 0x1D : 0xE6;
    return out;
}

struct DatagramCase {
    const char *name;
    Bytes plain;
    Bytes wire;
};

void PrintTo(const DatagramCase &c, std::ostream *os) { *os << c.name; }

class DatagramRule : public ::testing::TestWithParam<DatagramCase>
{
};

} // namespace

TEST_P(DatagramRule, MasksEvenBytesWithTheSecondMaskAndOddAndLastWithTheFirst)
{
    const DatagramCase &c = GetParam();
    EXPECT_EQ(Datagram(c.plain), c.wire);
    EXPECT_EQ(Datagram(c.wire), c.plain);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, DatagramRule,
    ::testing::Values(DatagramCase{"fourBytes", {0, 0, 0, 0}, {0xE6, 0x1D, 0xE6, 0x1D}},
                      DatagramCase{"fiveBytes", {0, 0, 0, 0, 0}, {0xE6, 0x1D, 0xE6, 0x1D, 0x1D}},
                      DatagramCase{"oneByte", {0x42}, {0x42 ^ 0x1D}},
                      DatagramCase{"empty", {}, {}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(MaskingRules, WordsAndTailsAgreeWithTheByteRuleAtEveryLength)
{
    std::mt19937 random(7);
    for (size_t n = 0; n <= 70; n++) {
        Bytes data(n);
        for (BYTE &b : data)
            b = BYTE(random());
        EXPECT_EQ(Datagram(data), ReferenceDatagram(data)) << n << " bytes";
        Bytes stream(n);
        MaskStream(data.data(), stream.data(), n);
        for (size_t i = 0; i < n; i++)
            ASSERT_EQ(stream[i], BYTE(data[i] ^ 0xB4)) << n << " bytes, byte " << i;
        // In place gives the same.
        Bytes inPlace(data);
        MaskDatagram(inPlace.data(), inPlace.data(), n);
        EXPECT_EQ(inPlace, ReferenceDatagram(data));
    }
}

TEST(MaskingSwitch, AnyNonZeroValueIsOn)
{
    EXPECT_EQ(GetTrafficMasking(), 0);
    EXPECT_EQ(H323GetTrafficHook(), nullptr);
    SetTrafficMasking(2);
    EXPECT_NE(H323GetTrafficHook(), nullptr);
    SetTrafficMasking(0);
    EXPECT_EQ(H323GetTrafficHook(), nullptr);
    SetTrafficMasking(kTrafficMaskingSetting);
    EXPECT_NE(H323GetTrafficHook(), nullptr);
    SetTrafficMasking(0);
}

namespace
{

/// A TCP transport of the stack connected to a plain socket on loopback.
struct TcpPair {
    TcpPair()
    {
        listener.Listen(PIPSocket::Address(127, 0, 0, 1), 1, 0);
        PTCPSocket *client = new PTCPSocket(listener.GetPort());
        EXPECT_TRUE(client->Connect(PIPSocket::Address(127, 0, 0, 1)));
        EXPECT_TRUE(peer.Accept(listener));
        transport.reset(new H323TransportTCP(endpoint));
        EXPECT_TRUE(transport->Open(client, TRUE));
        peer.SetReadTimeout(PTimeInterval(2000));
        transport->SetReadTimeout(PTimeInterval(2000));
    }
    Bytes ReadPeer(size_t n)
    {
        Bytes out(n);
        size_t got = 0;
        while (got < n && peer.Read(out.data() + got, PINDEX(n - got)))
            got += size_t(peer.GetLastReadCount());
        out.resize(got);
        return out;
    }

    H323EndPoint endpoint;
    PTCPSocket listener;
    PTCPSocket peer;
    std::unique_ptr<H323TransportTCP> transport;
};

struct StreamCase {
    const char *name;
    int masking;
};

void PrintTo(const StreamCase &c, std::ostream *os) { *os << c.name; }

class StreamOnTheWire : public ::testing::TestWithParam<StreamCase>
{
  protected:
    ~StreamOnTheWire() override { SetTrafficMasking(0); }
};

} // namespace

TEST_P(StreamOnTheWire, TpktHeaderAndBodyAreMaskedAndReadBackAsSent)
{
    SetTrafficMasking(GetParam().masking);
    BYTE mask = GetParam().masking ? 0xB4 : 0x00;
    TcpPair tcp;
    PBYTEArray body;
    body.SetSize(4);
    const BYTE bodyBytes[4] = {0x08, 0x02, 0x12, 0x34};
    std::copy(bodyBytes, bodyBytes + 4, body.GetPointer(4));
    ASSERT_TRUE(tcp.transport->WritePDU(body));

    Bytes plain = {0x03, 0x00, 0x00, 0x08, 0x08, 0x02, 0x12, 0x34};
    Bytes wire = tcp.ReadPeer(8);
    ASSERT_EQ(wire.size(), 8u);
    for (size_t i = 0; i < 8; i++)
        EXPECT_EQ(wire[i], BYTE(plain[i] ^ mask)) << "byte " << i;
    // The caller's buffer stays plain.
    EXPECT_EQ(body[0], 0x08);

    ASSERT_TRUE(tcp.peer.Write(wire.data(), PINDEX(wire.size())));
    PBYTEArray read;
    ASSERT_TRUE(tcp.transport->ReadPDU(read));
    ASSERT_EQ(read.GetSize(), 4);
    EXPECT_TRUE(std::equal(bodyBytes, bodyBytes + 4, read.GetPointer()));
}

TEST_P(StreamOnTheWire, FirstByteThatIsNotTheTpktVersionFailsTheRead)
{
    SetTrafficMasking(GetParam().masking);
    BYTE mask = GetParam().masking ? 0xB4 : 0x00;
    TcpPair tcp;
    // Plain 3 is no version when masked; 3 ^ mask is none when plain.
    Bytes wrong = {BYTE(GetParam().masking ? 0x03 : 0x03 ^ 0xB4), BYTE(0x00 ^ mask),
                   BYTE(0x00 ^ mask), BYTE(0x05 ^ mask), 0x00};
    ASSERT_TRUE(tcp.peer.Write(wrong.data(), PINDEX(wrong.size())));
    PBYTEArray read;
    EXPECT_FALSE(tcp.transport->ReadPDU(read));
    EXPECT_EQ(tcp.transport->GetErrorCode(PChannel::LastReadError), PChannel::ProtocolFailure);
}

INSTANTIATE_TEST_SUITE_P(Switch, StreamOnTheWire,
                         ::testing::Values(StreamCase{"on", 1}, StreamCase{"off", 0}),
                         [](const auto &info) { return std::string(info.param.name); });

namespace
{

class DatagramsOnTheWire : public ::testing::TestWithParam<StreamCase>
{
  protected:
    ~DatagramsOnTheWire() override { SetTrafficMasking(0); }

    Bytes Expected(const Bytes &plain) const
    {
        return GetParam().masking ? ReferenceDatagram(plain) : plain;
    }
    Bytes Receive(PUDPSocket &socket)
    {
        Bytes buffer(2048);
        socket.SetReadTimeout(PTimeInterval(2000));
        if (!socket.Read(buffer.data(), PINDEX(buffer.size())))
            return {};
        buffer.resize(size_t(socket.GetLastReadCount()));
        return buffer;
    }
};

} // namespace

TEST_P(DatagramsOnTheWire, RasDatagramsFollowTheRuleBothWays)
{
    SetTrafficMasking(GetParam().masking);
    H323EndPoint endpoint;
    PUDPSocket peer;
    ASSERT_TRUE(peer.Listen(PIPSocket::Address(127, 0, 0, 1), 0, 0));
    H323TransportUDP ras(endpoint, PIPSocket::Address(127, 0, 0, 1));
    ras.SetRemoteAddress(H323TransportAddress(PIPSocket::Address(127, 0, 0, 1), peer.GetPort()));

    Bytes plain = {0x0E, 0x40, 0x00, 0x07, 0x66};
    PBYTEArray pdu;
    std::copy(plain.begin(), plain.end(), pdu.GetPointer(PINDEX(plain.size())));
    pdu.SetSize(PINDEX(plain.size()));
    ASSERT_TRUE(ras.WritePDU(pdu));
    EXPECT_EQ(Receive(peer), Expected(plain));
    EXPECT_EQ(pdu[0], 0x0E);

    WORD rasPort;
    PIPSocket::Address rasIp;
    ras.GetLocalAddress().GetIpAndPort(rasIp, rasPort);
    Bytes wire = Expected(plain);
    peer.SetSendAddress(PIPSocket::Address(127, 0, 0, 1), rasPort);
    ASSERT_TRUE(peer.Write(wire.data(), PINDEX(wire.size())));
    PBYTEArray read;
    ras.SetReadTimeout(PTimeInterval(2000));
    ASSERT_TRUE(ras.ReadPDU(read));
    EXPECT_EQ(Bytes(read.GetPointer(), read.GetPointer() + read.GetSize()), plain);
}

TEST_P(DatagramsOnTheWire, RtpHeaderAndPayloadFollowTheRule)
{
    SetTrafficMasking(GetParam().masking);
    PUDPSocket peer;
    ASSERT_TRUE(peer.Listen(PIPSocket::Address(127, 0, 0, 1), 0, 0));
    RTP_UDP session(1);
    ASSERT_TRUE(session.Open(PIPSocket::Address(127, 0, 0, 1), 30000, 39998, 0));
    session.SetRemoteSocketInfo(PIPSocket::Address(127, 0, 0, 1), peer.GetPort(), TRUE);

    RTP_DataFrame frame;
    frame.SetPayloadType(4);
    frame.SetTimestamp(0x01020304);
    ASSERT_TRUE(frame.SetPayloadSize(5));
    const BYTE payload[5] = {1, 2, 3, 4, 5};
    std::copy(payload, payload + 5, frame.GetPayloadPtr());
    ASSERT_TRUE(session.WriteData(frame));
    // The session filled in its sequence number and source; the frame it keeps is plain.
    Bytes plain(frame.GetPointer(), frame.GetPointer() + frame.GetPacketSize());
    ASSERT_EQ(plain.size(), 17u);
    EXPECT_TRUE(std::equal(payload, payload + 5, plain.begin() + 12));
    EXPECT_EQ(Receive(peer), Expected(plain));
}

INSTANTIATE_TEST_SUITE_P(Switch, DatagramsOnTheWire,
                         ::testing::Values(StreamCase{"on", 1}, StreamCase{"off", 0}),
                         [](const auto &info) { return std::string(info.param.name); });
