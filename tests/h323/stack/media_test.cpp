// Media: G.711 companding, RTP packet checks, and the jitter buffer's play-out.
#include <h323/codecs/g711.h>
#include <h323/rtp/jitter.h>
#include <h323/rtp/rtp_session.h>

#include <gtest/gtest.h>

#include <pwlib/ptimer.h>

#include <cmath>
#include <deque>
#include <map>
#include <mutex>

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
    BOOL ReadData(RTP_DataFrame &frame) override
    {
        for (;;) {
            if (closed)
                return FALSE;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (!queue.empty() && queue.front().second <= PTimer::Tick().GetMilliSeconds()) {
                    frame.SetPayloadSize(160);
                    frame.SetTimestamp(queue.front().first);
                    auto seq = sequenced.find(queue.front().first);
                    frame.SetSequenceNumber(seq != sequenced.end() ? seq->second
                                                                   : WORD(queue.front().first / 160));
                    queue.pop_front();
                    return TRUE;
                }
            }
            more.Wait(2);
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
