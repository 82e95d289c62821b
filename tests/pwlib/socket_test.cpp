// TCP and UDP sockets over loopback: connect, accept, read, write, time-outs and Select.
#include <pwlib/ptcpsocket.h>
#include <pwlib/pthread.h>
#include <pwlib/ptimer.h>
#include <pwlib/pudpsocket.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <future>
#include <memory>
#include <vector>

namespace
{

using Address = PIPSocket::Address;
const Address loopback(127, 0, 0, 1);

PInt64 ElapsedSince(const PTimeInterval &start)
{
    return (PTimer::Tick() - start).GetMilliSeconds();
}

/// A connected pair over loopback: client and the accepted server side.
struct TcpPair {
    PTCPSocket listener;
    PTCPSocket client;
    PTCPSocket server;

    TcpPair()
    {
        EXPECT_TRUE(listener.Listen(5, 0));
        client.SetPort(listener.GetPort());
        EXPECT_TRUE(client.Connect(loopback));
        listener.SetReadTimeout(5000);
        EXPECT_TRUE(server.Accept(listener));
        client.SetReadTimeout(5000);
        server.SetReadTimeout(5000);
    }
};

TEST(TcpSocket, ConnectsAcceptsAndCarriesBytesBothWays)
{
    TcpPair pair;
    ASSERT_TRUE(pair.client.IsOpen());
    ASSERT_TRUE(pair.server.IsOpen());
    EXPECT_NE(pair.listener.GetPort(), 0);

    const char tpkt[] = "\x03\x00\x00\x18 announcement bytes";
    ASSERT_TRUE(pair.client.Write(tpkt, sizeof(tpkt)));
    EXPECT_EQ(pair.client.GetLastWriteCount(), PINDEX(sizeof(tpkt)));
    char buffer[sizeof(tpkt)];
    ASSERT_TRUE(pair.server.ReadBlock(buffer, sizeof(buffer)));
    EXPECT_EQ(pair.server.GetLastReadCount(), PINDEX(sizeof(tpkt)));
    EXPECT_EQ(std::memcmp(buffer, tpkt, sizeof(tpkt)), 0);

    ASSERT_TRUE(pair.server.Write("ok", 2));
    ASSERT_TRUE(pair.client.Read(buffer, sizeof(buffer)));
    EXPECT_EQ(pair.client.GetLastReadCount(), 2);

    Address local, peer;
    WORD localPort = 0, peerPort = 0;
    ASSERT_TRUE(pair.client.GetLocalAddress(local, localPort));
    ASSERT_TRUE(pair.server.GetPeerAddress(peer, peerPort));
    EXPECT_EQ(local, peer);
    EXPECT_EQ(localPort, peerPort);
    ASSERT_TRUE(pair.client.GetPeerAddress(peer, peerPort));
    EXPECT_EQ(peerPort, pair.listener.GetPort());
}

TEST(TcpSocket, LargeWritesArriveWhole)
{
    TcpPair pair;
    std::vector<BYTE> data(4 << 20);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<BYTE>(i * 7);
    auto writer = std::async(std::launch::async, [&] {
        return pair.client.Write(data.data(), static_cast<PINDEX>(data.size()));
    });
    std::vector<BYTE> received(data.size());
    EXPECT_TRUE(pair.server.ReadBlock(received.data(), static_cast<PINDEX>(received.size())));
    EXPECT_TRUE(writer.get());
    EXPECT_TRUE(received == data);
}

TEST(TcpSocket, EndOfStreamAndShutdownAreReported)
{
    TcpPair pair;
    EXPECT_TRUE(pair.client.Shutdown(PSocket::ShutdownWrite));
    char byte;
    EXPECT_FALSE(pair.server.Read(&byte, 1));
    EXPECT_EQ(pair.server.GetErrorCode(PChannel::LastReadError), PChannel::NotOpen);
    EXPECT_EQ(pair.server.GetLastReadCount(), 0);
    EXPECT_TRUE(pair.server.IsOpen());

    ASSERT_TRUE(pair.server.Write("x", 1)); // the other direction still works
    EXPECT_TRUE(pair.client.Read(&byte, 1));

    EXPECT_TRUE(pair.server.Close());
    EXPECT_FALSE(pair.server.IsOpen());
    EXPECT_FALSE(pair.server.Read(&byte, 1));
    EXPECT_EQ(pair.server.GetErrorCode(PChannel::LastReadError), PChannel::NotOpen);
    EXPECT_FALSE(pair.server.Write("x", 1));
    EXPECT_FALSE(pair.server.Close()) << "already closed";
}

TEST(TcpSocket, ReadAndAcceptTimeOut)
{
    TcpPair pair;
    pair.server.SetReadTimeout(100);
    EXPECT_EQ(pair.server.GetReadTimeout(), 100);
    char byte;
    PTimeInterval start = PTimer::Tick();
    EXPECT_FALSE(pair.server.Read(&byte, 1));
    EXPECT_GE(ElapsedSince(start), 100);
    EXPECT_EQ(pair.server.GetErrorCode(PChannel::LastReadError), PChannel::Timeout);
    EXPECT_TRUE(pair.server.IsOpen());

    // The previous time-out is restored and the stream carries on.
    pair.server.SetReadTimeout(5000);
    ASSERT_TRUE(pair.client.Write("y", 1));
    EXPECT_TRUE(pair.server.Read(&byte, 1));

    pair.listener.SetReadTimeout(100);
    PTCPSocket nobody;
    start = PTimer::Tick();
    EXPECT_FALSE(nobody.Accept(pair.listener));
    EXPECT_GE(ElapsedSince(start), 100);
    EXPECT_EQ(nobody.GetErrorCode(), PChannel::Timeout);
}

TEST(TcpSocket, FailedConnectsCloseTheSocketAndKeepTheSystemError)
{
    // A port that was just free: nothing listens there.
    WORD freePort;
    {
        PTCPSocket probe;
        ASSERT_TRUE(probe.Listen(1, 0));
        freePort = probe.GetPort();
    }
    struct Case {
        const char *name;
        Address addr;
        WORD port;
        PChannel::Errors code;
        int errorNumber;
    };
    const Case cases[] = {
        {"refused", loopback, freePort, PChannel::Miscellaneous, ECONNREFUSED},
        {"address 0.0.0.0", Address(), 1720, PChannel::BadParameter, EINVAL},
        {"port 0", loopback, 0, PChannel::BadParameter, EINVAL},
    };
    for (const Case &c : cases) {
        PTCPSocket socket(c.port);
        EXPECT_FALSE(socket.Connect(c.addr)) << c.name;
        EXPECT_FALSE(socket.IsOpen()) << c.name;
        EXPECT_EQ(socket.GetErrorCode(PChannel::LastGeneralError), c.code) << c.name;
        EXPECT_EQ(socket.GetErrorNumber(PChannel::LastGeneralError), c.errorNumber) << c.name;
        EXPECT_FALSE(socket.GetErrorText().IsEmpty()) << c.name;
    }
    PTCPSocket byName("localhost", freePort);
    EXPECT_FALSE(byName.IsOpen());
}

TEST(TcpSocket, ListenOnABusyPortFailsAndReuseIsOptIn)
{
    PTCPSocket first;
    ASSERT_TRUE(first.Listen(loopback, 5, 0));
    PTCPSocket second;
    EXPECT_FALSE(second.Listen(loopback, 5, first.GetPort()));
    EXPECT_EQ(second.GetErrorCode(PChannel::LastGeneralError), PChannel::DeviceInUse);
    EXPECT_FALSE(second.IsOpen());

    PTCPSocket preset(0);
    preset.SetPort(first.GetPort());
    first.Close();
    EXPECT_TRUE(preset.Listen(loopback, 5, 0, PSocket::CanReuseAddress));
}

TEST(UdpSocket, DatagramsCarryTheirSender)
{
    PUDPSocket a, b;
    ASSERT_TRUE(a.Listen(loopback, 5, 0));
    ASSERT_TRUE(b.Listen(loopback, 5, 0));
    a.SetReadTimeout(5000);
    b.SetReadTimeout(5000);

    ASSERT_TRUE(a.WriteTo("ras", 3, loopback, b.GetPort()));
    char buffer[16];
    Address from;
    WORD fromPort = 0;
    ASSERT_TRUE(b.ReadFrom(buffer, sizeof(buffer), from, fromPort));
    EXPECT_EQ(b.GetLastReadCount(), 3);
    EXPECT_EQ(from, loopback);
    EXPECT_EQ(fromPort, a.GetPort());

    b.SetSendAddress(from, fromPort);
    ASSERT_TRUE(b.Write("reply", 5));
    ASSERT_TRUE(a.Read(buffer, sizeof(buffer)));
    EXPECT_EQ(a.GetLastReadCount(), 5);
    Address last;
    WORD lastPort = 0;
    a.GetLastReceiveAddress(last, lastPort);
    EXPECT_EQ(lastPort, b.GetPort());

    ASSERT_TRUE(a.WriteTo("", 0, loopback, b.GetPort()));
    ASSERT_TRUE(b.ReadFrom(buffer, sizeof(buffer), from, fromPort));
    EXPECT_EQ(b.GetLastReadCount(), 0) << "an empty datagram is a datagram";
}

TEST(UdpSocket, LargeAndTruncatedDatagrams)
{
    PUDPSocket a, b;
    ASSERT_TRUE(a.Listen(loopback, 5, 0));
    ASSERT_TRUE(b.Listen(loopback, 5, 0));
    b.SetReadTimeout(5000);
    std::vector<BYTE> big(65507, 0x5a);
    ASSERT_TRUE(a.WriteTo(big.data(), static_cast<PINDEX>(big.size()), loopback, b.GetPort()));
    std::vector<BYTE> in(65536);
    Address from;
    WORD port;
    ASSERT_TRUE(b.ReadFrom(in.data(), static_cast<PINDEX>(in.size()), from, port));
    EXPECT_EQ(b.GetLastReadCount(), 65507);

    ASSERT_TRUE(a.WriteTo(big.data(), 20000, loopback, b.GetPort()));
    ASSERT_TRUE(a.WriteTo("next", 4, loopback, b.GetPort()));
    EXPECT_FALSE(b.ReadFrom(in.data(), 10000, from, port));
    EXPECT_EQ(b.GetErrorCode(PChannel::LastReadError), PChannel::BufferTooSmall);
    EXPECT_EQ(b.GetLastReadCount(), 10000);
    ASSERT_TRUE(b.ReadFrom(in.data(), 10000, from, port)) << "the rest was dropped";
    EXPECT_EQ(b.GetLastReadCount(), 4);
}

TEST(UdpSocket, TimeOutsUnboundWritesAndPortRanges)
{
    PUDPSocket receiver;
    ASSERT_TRUE(receiver.Listen(loopback, 5, 0));
    receiver.SetReadTimeout(80);
    char buffer[8];
    Address from;
    WORD port;
    PTimeInterval start = PTimer::Tick();
    EXPECT_FALSE(receiver.ReadFrom(buffer, sizeof(buffer), from, port));
    EXPECT_GE(ElapsedSince(start), 80);
    EXPECT_EQ(receiver.GetErrorCode(PChannel::LastReadError), PChannel::Timeout);

    PUDPSocket unbound;
    EXPECT_FALSE(unbound.IsOpen());
    ASSERT_TRUE(unbound.WriteTo("hi", 2, loopback, receiver.GetPort()));
    EXPECT_TRUE(unbound.IsOpen());
    EXPECT_NE(unbound.GetPort(), 0);
    receiver.SetReadTimeout(5000);
    EXPECT_TRUE(receiver.ReadFrom(buffer, sizeof(buffer), from, port));
    EXPECT_EQ(port, unbound.GetPort());
    EXPECT_FALSE(unbound.WriteTo("hi", 2, Address(), 5000));
    EXPECT_FALSE(unbound.WriteTo("hi", 2, loopback, 0));

    // The first port of the range is taken: the next one is used.
    WORD taken = receiver.GetPort();
    if (taken < 65535) {
        PUDPSocket ranged;
        PUDPSocket blocker;
        if (blocker.Listen(loopback, 5, static_cast<WORD>(taken + 1))) {
            blocker.Close();
            EXPECT_TRUE(ranged.ListenInRange(loopback, taken, static_cast<WORD>(taken + 1)));
            EXPECT_EQ(ranged.GetPort(), taken + 1);
        }
    }
    PUDPSocket none;
    EXPECT_FALSE(none.ListenInRange(loopback, taken, taken));
    EXPECT_FALSE(none.ListenInRange(loopback, 10, 5));
}

TEST(UdpSocket, ADatagramReadLateKeepsItsArrivalTime)
{
    PUDPSocket a, b;
    ASSERT_TRUE(a.Listen(loopback, 5, 0));
    ASSERT_TRUE(b.Listen(loopback, 5, 0));
    b.SetReadTimeout(5000);
    char buffer[8];
    Address from;
    WORD port;
    PInt64 arrived = 0;
    // The first read with arrival times turns them on; a datagram queued before counts
    // as received when it is read.
    ASSERT_TRUE(a.WriteTo("one", 3, loopback, b.GetPort()));
    ASSERT_TRUE(b.ReadFrom(buffer, sizeof(buffer), from, port, arrived));
    EXPECT_LE(ElapsedSince(PTimeInterval(arrived)), 1000);

    // The system starts stamping a little later (on a busy host, later still).
    bool stamped = false;
    for (int attempt = 0; attempt < 50 && !stamped; attempt++) {
        PInt64 before = PTimer::Tick().GetMilliSeconds();
        ASSERT_TRUE(a.WriteTo("two", 3, loopback, b.GetPort()));
        PInt64 after = PTimer::Tick().GetMilliSeconds();
        PThread::Sleep(60);
        ASSERT_TRUE(b.ReadFrom(buffer, sizeof(buffer), from, port, arrived));
        ASSERT_EQ(b.GetLastReadCount(), 3);
        ASSERT_EQ(port, a.GetPort());
        ASSERT_GE(arrived, before - 1);
        ASSERT_LE(arrived, after + 80) << "at the latest, when it was read";
        stamped = arrived <= after + 1;
    }
    EXPECT_TRUE(stamped) << "the time it came, not the time it was read";
}

TEST(Select, ReportsReadableTimeoutAndNotOpen)
{
    TcpPair pair;
    PTimeInterval start = PTimer::Tick();
    EXPECT_EQ(PSocket::Select(pair.server, 80), 0);
    EXPECT_GE(ElapsedSince(start), 80);

    ASSERT_TRUE(pair.client.Write("d", 1));
    EXPECT_EQ(PSocket::Select(pair.server, 5000), -1);

    PUDPSocket a, b;
    ASSERT_TRUE(a.Listen(loopback, 5, 0));
    ASSERT_TRUE(b.Listen(loopback, 5, 0));
    ASSERT_TRUE(a.WriteTo("x", 1, loopback, b.GetPort()));
    EXPECT_EQ(PSocket::Select(a, b, 5000), -2);
    ASSERT_TRUE(b.WriteTo("x", 1, loopback, a.GetPort()));
    PThread::Sleep(20);
    EXPECT_EQ(PSocket::Select(a, b, 0), -3);

    PTCPSocket closed;
    EXPECT_EQ(PSocket::Select(closed, 1000), PChannel::NotOpen);

    pair.client.Close();
    char byte;
    EXPECT_TRUE(pair.server.Read(&byte, 1));
    EXPECT_EQ(PSocket::Select(pair.server, 5000), -1) << "end of stream is readable";
}

} // namespace
