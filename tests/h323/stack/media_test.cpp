// Media: G.711 companding, RTP packet checks, and the jitter buffer's play-out (fed by a
// test session and over UDP).
#include <h323/codecs/g711.h>
#include <h323/rtp/jitter.h>
#include <h323/rtp/rtp_session.h>

#include <gtest/gtest.h>

#include <pwlib/pthread.h>
#include <pwlib/ptimer.h>
#include <pwlib/pudpsocket.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

TEST(G711, KnownCodesAndRoundTrip)
{
    EXPECT_EQ(h323::g711::LinearToUlaw(0), 0xFF);
    EXPECT_EQ(h323::g711::LinearToAlaw(0), 0xD5);
    EXPECT_EQ(h323::g711::UlawToLinear(0xFF), 0);
    EXPECT_EQ(h323::g711::UlawToLinear(0x80), 32124);
    EXPECT_EQ(h323::g711::AlawToLinear(0xD5), 8);
    for (int s = -32768; s < 32768; s += 97) {
        int u = h323::g711::UlawToLinear(h323::g711::LinearToUlaw(int16_t(s)));
        int a = h323::g711::AlawToLinear(h323::g711::LinearToAlaw(int16_t(s)));
        // The quantisation step grows with the level: within 1/16 of it plus the floor.
        ASSERT_LE(std::abs(u - s), std::abs(s) / 16 + 40) << s;
        EXPECT_LE(std::abs(a - s), std::abs(s) / 16 + 40) << s;
    }
    // Every code's level compands back to that code (mu-law's negative zero aside).
    for (int c = 0; c < 256; c++) {
        if (c != 0x7F) {
            EXPECT_EQ(h323::g711::LinearToUlaw(h323::g711::UlawToLinear(uint8_t(c))), c) << c;
        }
        EXPECT_EQ(h323::g711::LinearToAlaw(h323::g711::AlawToLinear(uint8_t(c))), c) << c;
    }
}

TEST(RtpFrame, HeaderChecksOnReceipt)
{
    struct Case {
        const char *name;
        std::vector<BYTE> bytes;
        bool ok;
        PINDEX payload;
    } cases[] = {
        {"plain", {0x80, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 9, 9}, true, 2},
        {"version 1", {0x40, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 9}, false, 0},
        {"short", {0x80, 0, 0, 1, 0, 0}, false, 0},
        {"CSRC beyond the packet", {0x82, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 1, 2, 3, 4}, false, 0},
        {"extension", {0x90, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 1, 1, 2, 3, 4, 7}, true, 1},
        {"padding", {0xA0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 7, 0, 2}, true, 1},
        {"padding too long", {0xA0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 7, 0, 9}, false, 0},
    };
    for (const Case &c : cases) {
        RTP_DataFrame frame;
        std::copy(c.bytes.begin(), c.bytes.end(), frame.GetPointer(PINDEX(c.bytes.size())));
        EXPECT_EQ(bool(frame.SetPacketSize(PINDEX(c.bytes.size()))), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(frame.GetPayloadSize(), c.payload) << c.name;
        }
    }
}

namespace {

/// A session fed by the test: ReadData hands out the queued packets at their time.
class FeedSession : public RTP_Session
{
  public:
    FeedSession() : RTP_Session(1, "test") {}
    ~FeedSession() override { Close(FALSE); SetJitterBufferSize(0, 0); }
    void Push(DWORD ts, PInt64 atMs)
    {
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back({ts, atMs});
        more.Signal();
    }
    void PushSequenced(DWORD ts, WORD seq, PInt64 atMs)
    {
        std::lock_guard<std::mutex> lock(mutex);
        sequenced[ts] = seq;
        queue.push_back({ts, atMs});
        more.Signal();
    }
    int ReadDataWithin(RTP_DataFrame &frame, const PTimeInterval &timeout, PInt64 &arrival) override
    {
        const bool forever = timeout >= PMaxTimeInterval;
        const PInt64 end = PTimer::Tick().GetMilliSeconds() + timeout.GetMilliSeconds();
        for (;;) {
            if (closed)
                return -1;
            PInt64 now = PTimer::Tick().GetMilliSeconds();
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (!queue.empty() && queue.front().second <= now) {
                    frame.SetPayloadSize(160);
                    frame.SetTimestamp(queue.front().first);
                    auto seq = sequenced.find(queue.front().first);
                    frame.SetSequenceNumber(seq != sequenced.end() ? seq->second
                                                                   : WORD(queue.front().first / 160));
                    arrival = queue.front().second;
                    queue.pop_front();
                    return 1;
                }
            }
            if (!forever && now >= end)
                return 0;
            more.Wait(forever ? 2 : std::min<PInt64>(2, end - now));
        }
    }
    BOOL WriteData(RTP_DataFrame &) override { return TRUE; }
    BOOL WriteControl(RTP_ControlFrame &) override { return TRUE; }
    void Close(BOOL) override
    {
        closed = true;
        more.Signal();
    }

  private:
    std::mutex mutex;
    std::deque<std::pair<DWORD, PInt64>> queue;
    std::map<DWORD, WORD> sequenced;
    PSyncPoint more;
    std::atomic<bool> closed{false};
};

} // namespace

TEST(JitterBuffer, PlaysInTimestampOrderAfterTheMinimumDelayAndFillsGaps)
{
    FeedSession session;
    session.SetJitterBufferSize(50 * 8, 250 * 8);
    PInt64 start = PTimer::Tick().GetMilliSeconds();
    // 20 ms packets; the third arrives before the second, the fifth never.
    session.Push(1000, start);
    session.Push(1320, start + 30);
    session.Push(1160, start + 35);
    session.Push(1480, start + 60);
    session.Push(1800, start + 100);
    std::vector<DWORD> order;
    std::vector<PINDEX> sizes;
    RTP_DataFrame frame;
    for (int i = 0; i < 6; i++) {
        ASSERT_TRUE(session.ReadBufferedData(frame));
        order.push_back(frame.GetTimestamp());
        sizes.push_back(frame.GetPayloadSize());
        if (i == 0) {
            PInt64 held = PTimer::Tick().GetMilliSeconds() - start;
            EXPECT_GE(held, 48); // the minimum delay holds (it is no upper bound on a busy host)
            EXPECT_LE(held, 250);
        }
    }
    EXPECT_EQ(order, (std::vector<DWORD>{1000, 1160, 1320, 1480, 1640, 1800}));
    EXPECT_EQ(sizes[4], 0); // the missing packet plays as an empty frame
    EXPECT_EQ(sizes[5], 160);
}

TEST(JitterBuffer, LatePacketIsDroppedAndTheDelayGrows)
{
    FeedSession session;
    session.SetJitterBufferSize(50 * 8, 250 * 8);
    PInt64 start = PTimer::Tick().GetMilliSeconds();
    session.Push(0, start);
    session.Push(160, start + 20);
    session.Push(320, start + 250); // far behind its play-out time
    session.Push(480, start + 250);
    RTP_DataFrame frame;
    ASSERT_TRUE(session.ReadBufferedData(frame));
    EXPECT_EQ(frame.GetTimestamp(), 0u);
    ASSERT_TRUE(session.ReadBufferedData(frame));
    EXPECT_EQ(frame.GetTimestamp(), 160u);
    ASSERT_TRUE(session.ReadBufferedData(frame));
    EXPECT_EQ(frame.GetPayloadSize(), 0); // 320 did not come in time
    for (int i = 0; i < 20 && session.GetJitterBuffer()->GetPacketsTooLate() == 0; i++)
        session.ReadBufferedData(frame);
    EXPECT_GE(session.GetJitterBuffer()->GetPacketsTooLate(), 1u);
    EXPECT_GT(session.GetJitterBuffer()->GetCurrentDelay(), 50u);
}

TEST(JitterBuffer, PacketsOfSeveralFramesPlayWithoutGaps)
{
    FeedSession session;
    session.SetJitterBufferSize(50 * 8, 250 * 8);
    PInt64 start = PTimer::Tick().GetMilliSeconds();
    // 80 ms packets (four GSM frames each): one timestamp step of 640 per packet.
    for (WORD k = 0; k < 4; k++)
        session.PushSequenced(640u * k, WORD(100 + k), start + 80 * k);
    RTP_DataFrame frame;
    for (DWORD k = 0; k < 4; k++) {
        ASSERT_TRUE(session.ReadBufferedData(frame));
        EXPECT_EQ(frame.GetTimestamp(), 640u * k);
        EXPECT_EQ(frame.GetPayloadSize(), 160) << "an empty frame stood in at " << frame.GetTimestamp();
    }
}

TEST(JitterBuffer, AStepGivesOnlyTheFramesDueByItsEndHoweverLateItRuns)
{
    FeedSession session;
    session.SetJitterBufferSize(50 * 8, 250 * 8);
    const PInt64 start = PTimer::Tick().GetMilliSeconds();
    for (DWORD k = 0; k < 10; k++)
        session.Push(160 * k, start); // frame k plays at start + 50 + 20k
    // A step of a thread that plays more slowly than it should: all ten are due by now.
    PThread::Sleep(300);
    const PInt64 stepEnd = start + 50 + 20 * 2 + 5;
    RTP_DataFrame frame;
    std::vector<DWORD> given;
    int got;
    while ((got = session.ReadBufferedDataWithin(frame, stepEnd, stepEnd)) > 0 && given.size() < 20)
        given.push_back(frame.GetTimestamp());
    EXPECT_EQ(got, 0);
    EXPECT_EQ(given, (std::vector<DWORD>{0, 160, 320}));
    // The next step goes on from there.
    ASSERT_EQ(session.ReadBufferedDataWithin(frame, 0, PTimer::Tick().GetMilliSeconds()), 1);
    EXPECT_EQ(frame.GetTimestamp(), 480u);
    EXPECT_EQ(frame.GetPayloadSize(), 160);
}

namespace {

/// Waits until the system stamps received datagrams (it starts a little after the first
/// socket asks for it); FALSE when it never did within seconds.
bool ReceiveTimesStamped(const PIPSocket::Address &loopback)
{
    PUDPSocket a, b;
    if (!a.Listen(loopback, 5, 0) || !b.Listen(loopback, 5, 0))
        return false;
    b.SetReadTimeout(1000);
    for (int attempt = 0; attempt < 100; attempt++) {
        a.WriteTo("t", 1, loopback, b.GetPort());
        PInt64 sent = PTimer::Tick().GetMilliSeconds();
        PThread::Sleep(30);
        char byte;
        PIPSocket::Address from;
        WORD port;
        PInt64 arrived = 0;
        if (b.ReadFrom(&byte, 1, from, port, arrived) && arrived <= sent + 1)
            return true;
    }
    return false;
}

} // namespace

TEST(JitterBuffer, OverUdpPacketsTakenInLaterKeepTheirArrivalAndCloseEndsTheWait)
{
    const PIPSocket::Address loopback(127, 0, 0, 1);
    ASSERT_TRUE(ReceiveTimesStamped(loopback));
    PUDPSocket peer;
    ASSERT_TRUE(peer.Listen(loopback, 5, 0));
    RTP_UDP session(1);
    ASSERT_TRUE(session.Open(loopback, 30000, 39998, 0));
    ASSERT_TRUE(session.SetRemoteSocketInfo(loopback, peer.GetPort(), TRUE));
    // A delay longer than a loaded host stalls the sender, so that every packet is in time.
    constexpr PInt64 kDelay = 250;
    session.SetJitterBufferSize(kDelay * 8, kDelay * 8);

    // 20 ms packets: the first twelve after the first one arrive while the reader waits for
    // the first play-out time, the others while it waits for the one before theirs.
    constexpr int kPackets = 16;
    PInt64 sendingFrom = 0;
    std::vector<PInt64> sentBy(kPackets); // when each packet was in the session's socket
    std::thread sender([&] {
        sendingFrom = PTimer::Tick().GetMilliSeconds();
        for (int k = 0; k < kPackets; k++) {
            PInt64 rest = sendingFrom + 20 * k - PTimer::Tick().GetMilliSeconds();
            if (rest > 0)
                PThread::Sleep(PTimeInterval(rest));
            RTP_DataFrame frame;
            frame.SetPayloadType(RTP_DataFrame::PCMU);
            frame.SetSequenceNumber(WORD(100 + k));
            frame.SetTimestamp(DWORD(160 * k));
            frame.SetPayloadSize(160);
            peer.WriteTo(frame.GetPointer(), frame.GetPacketSize(), loopback,
                         session.GetLocalDataPort());
            sentBy[k] = PTimer::Tick().GetMilliSeconds();
        }
    });
    RTP_DataFrame frame;
    std::vector<unsigned> held;
    for (int k = 0; k < kPackets; k++) {
        ASSERT_TRUE(session.ReadBufferedData(frame));
        EXPECT_EQ(frame.GetTimestamp(), DWORD(160 * k));
        EXPECT_EQ(frame.GetPayloadSize(), 160) << "missing at " << frame.GetTimestamp();
        held.push_back(session.GetJitterBuffer()->GetLastHoldTime());
    }
    sender.join();
    // Packet k plays no sooner than the delay plus 20k ms after the first arrived, which was
    // after the sending began, and it arrived before its send returned: held at least the
    // delay less how late the sender was with it (1 ms for each time rounded to the ms).
    // Counted from when it was read, the second packet would show 20 ms.
    for (int k = 0; k < kPackets; k++) {
        const PInt64 late = sentBy[k] - sendingFrom - 20 * k;
        EXPECT_GE(PInt64(held[k]), kDelay - late - 2)
            << "packet " << k << " is held the delay from its arrival (sent " << late << " ms late)";
    }

    // Past the last packet the reader plays empty frames; closing ends it at once.
    std::atomic<PInt64> closedAt{0};
    std::thread closer([&] {
        PThread::Sleep(50);
        closedAt = PTimer::Tick().GetMilliSeconds();
        session.Close(TRUE);
    });
    PInt64 start = PTimer::Tick().GetMilliSeconds();
    while (session.ReadBufferedData(frame) && PTimer::Tick().GetMilliSeconds() - start < 30000) {
    }
    const PInt64 ended = PTimer::Tick().GetMilliSeconds();
    closer.join();
    EXPECT_LT(ended - closedAt, 2000);
    EXPECT_FALSE(session.ReadBufferedData(frame));
}

TEST(JitterBuffer, CloseEndsAReaderWaitingForTheFirstPacket)
{
    RTP_UDP session(1);
    ASSERT_TRUE(session.Open(PIPSocket::Address(127, 0, 0, 1), 30000, 39998, 0));
    session.SetJitterBufferSize(50 * 8, 250 * 8);
    std::thread closer([&] {
        PThread::Sleep(50);
        session.Close(TRUE);
    });
    RTP_DataFrame frame;
    PInt64 start = PTimer::Tick().GetMilliSeconds();
    EXPECT_FALSE(session.ReadBufferedData(frame));
    EXPECT_LT(PTimer::Tick().GetMilliSeconds() - start, 2000);
    closer.join();
}

TEST(RtpSession, PacketsOfAnotherPayloadTypeAreCountedAndDropped)
{
    struct Case {
        const char *name;
        unsigned expected; ///< the channel's payload type; IllegalPayloadType: none set
        std::vector<unsigned> sent;
        std::vector<unsigned> read;
    };
    constexpr unsigned PCMU = RTP_DataFrame::PCMU, PCMA = RTP_DataFrame::PCMA;
    constexpr unsigned kComfortNoise = 13, kEvents = 101;
    const Case cases[] = {
        {"the channel's own", PCMU, {PCMU, PCMU}, {PCMU, PCMU}},
        {"comfort noise, another codec, events between", PCMU,
         {PCMU, kComfortNoise, PCMA, kEvents, PCMU}, {PCMU, PCMU}},
        {"another codec only", PCMA, {PCMU, PCMU, PCMU}, {}},
        {"none set: any", RTP_DataFrame::IllegalPayloadType, {PCMU, PCMA, kEvents}, {PCMU, PCMA, kEvents}},
    };
    const PIPSocket::Address loopback(127, 0, 0, 1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PUDPSocket peer;
        ASSERT_TRUE(peer.Listen(loopback, 5, 0));
        RTP_UDP session(1);
        ASSERT_TRUE(session.Open(loopback, 30000, 39998, 0));
        ASSERT_TRUE(session.SetRemoteSocketInfo(loopback, peer.GetPort(), TRUE));
        session.SetReceivePayloadType(c.expected);
        // A last packet of the expected type (or of any) marks the end of the stream.
        std::vector<unsigned> sent = c.sent;
        const unsigned marker = c.expected == RTP_DataFrame::IllegalPayloadType ? PCMU : c.expected;
        sent.push_back(marker);
        for (size_t k = 0; k < sent.size(); k++) {
            RTP_DataFrame frame;
            frame.SetPayloadType(sent[k]);
            frame.SetSequenceNumber(WORD(500 + k));
            frame.SetTimestamp(DWORD(160 * k));
            frame.SetPayloadSize(160);
            peer.WriteTo(frame.GetPointer(), frame.GetPacketSize(), loopback,
                         session.GetLocalDataPort());
        }
        std::vector<unsigned> read;
        RTP_DataFrame frame;
        PInt64 arrival = 0;
        while (session.ReadDataWithin(frame, 5000, arrival) == 1 &&
               frame.GetSequenceNumber() != WORD(500 + sent.size() - 1))
            read.push_back(frame.GetPayloadType());
        EXPECT_EQ(frame.GetSequenceNumber(), WORD(500 + sent.size() - 1)) << "the last packet came";
        EXPECT_EQ(read, c.read);
        EXPECT_EQ(session.GetPacketsOfOtherPayloadType(), DWORD(c.sent.size() - c.read.size()));
        EXPECT_EQ(session.GetPacketsLost(), 0u) << "dropped packets are not lost ones";
        EXPECT_EQ(session.GetPacketsReceived(), DWORD(c.read.size() + 1));
    }
}
