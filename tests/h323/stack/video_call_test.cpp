// Video calls between two endpoints in one process: the FakeVideo moving line arrives decoded
// at the other side in H.263 and H.261, with and without fast start, and a refused video
// channel leaves the call to its audio.
#include "stack_support.h"

#include <h323/codecs/h261codec.h>
#include <h323/codecs/h263codec.h>

#include <pwlib/video/pvideochannel.h>

#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <mutex>

using namespace stacktest;

namespace {

/// A display that keeps the last picture it was given (YUV 4:2:0) and counts them.
class RecordingDisplay : public PVideoOutputDevice
{
  public:
    struct Store {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<BYTE> last;
        unsigned width = 0, height = 0;
        int pictures = 0;
    };
    explicit RecordingDisplay(Store &s) : store(s) {}
    BOOL Open(const PString &, BOOL) override { return TRUE; }
    BOOL IsOpen() override { return TRUE; }
    PStringList GetDeviceNames() const override { return PStringList{"recorder"}; }
    PINDEX GetMaxFrameBytes() override { return PINDEX(frameWidth_ * frameHeight_ * 3 / 2); }
    BOOL SetFrameData(unsigned x, unsigned y, unsigned w, unsigned h, const BYTE *data,
                      BOOL endFrame) override
    {
        if (x != 0 || y != 0 || w != frameWidth_ || h != frameHeight_ || data == nullptr)
            return FALSE;
        {
            std::lock_guard<std::mutex> lock(store.mutex);
            store.last.assign(data, data + size_t(w) * h * 3 / 2);
            store.width = w;
            store.height = h;
        }
        return endFrame ? EndFrame() : TRUE;
    }
    BOOL EndFrame() override
    {
        {
            std::lock_guard<std::mutex> lock(store.mutex);
            store.pictures++;
        }
        store.changed.notify_all();
        return TRUE;
    }

  private:
    Store &store;
};

/// An endpoint with audio (G.711) and one video capability beside it.
class VideoEndPoint : public TestEndPoint
{
  public:
    VideoEndPoint(const std::string &alias, H323Capability *video) : TestEndPoint(alias)
    {
        SetCapability(0, P_MAX_INDEX, video);
        SetAutoStartReceiveVideo(TRUE);
        SetAutoStartTransmitVideo(TRUE);
    }
    BOOL OpenVideoChannel(H323Connection &, BOOL isEncoding, H323VideoCodec &codec) override
    {
        if (isEncoding ? refuseTransmit : refuseReceive) {
            events.Add(isEncoding ? "refused video tx" : "refused video rx");
            return FALSE;
        }
        PVideoChannel *channel = new PVideoChannel;
        if (isEncoding) {
            PVideoInputDevice *grabber = PVideoInputDevice::CreateDevice("FakeVideo");
            grabber->SetColourFormat("YUV420P");
            grabber->SetFrameSize(176, 144);
            grabber->SetFrameRate(15);
            grabber->SetChannel(0);
            grabber->Start();
            channel->AttachVideoReader(grabber);
        } else {
            RecordingDisplay *display = new RecordingDisplay(received);
            display->SetFrameSize(176, 144);
            channel->AttachVideoPlayer(display);
        }
        return codec.AttachChannel(channel);
    }
    BOOL OnStartLogicalChannel(H323Connection &, H323Channel &channel) override
    {
        bool video = channel.GetCapability().GetMainType() == H323Capability::e_Video;
        events.Add(std::string("started ") + (video ? "video " : "audio ") +
                   (channel.GetDirection() == H323Channel::IsTransmitter ? "tx" : "rx"));
        return TRUE;
    }
    void OnClosedLogicalChannel(H323Connection &, const H323Channel &channel) override
    {
        if (channel.GetCapability().GetMainType() == H323Capability::e_Video)
            events.Add(channel.GetDirection() == H323Channel::IsTransmitter ? "closed video tx"
                                                                           : "closed video rx");
    }
    /** Waits until count pictures arrived; a copy of the last one. */
    std::vector<BYTE> WaitForPictures(int count, int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> lock(received.mutex);
        received.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return received.pictures >= count; });
        return received.pictures >= count ? received.last : std::vector<BYTE>();
    }

    RecordingDisplay::Store received;
    bool refuseTransmit = false;
    bool refuseReceive = false;
};

/// PSNR (dB) of a QCIF luma plane against the moving line (two white rows on black) at the
/// rows where the picture is brightest.
double MovingLinePsnr(const std::vector<BYTE> &picture)
{
    const unsigned w = 176, h = 144;
    unsigned top = 0;
    double best = -1;
    for (unsigned row = 0; row < h; row++) {
        double sum = 0;
        for (unsigned i = 0; i < 2; i++)
            for (unsigned x = 0; x < w; x++)
                sum += picture[((row + i) % h) * w + x];
        if (sum > best) {
            best = sum;
            top = row;
        }
    }
    double error = 0;
    for (unsigned row = 0; row < h; row++) {
        bool line = (row + h - top) % h < 2;
        for (unsigned x = 0; x < w; x++) {
            double d = double(picture[row * w + x]) - (line ? 235.0 : 16.0);
            error += d * d;
        }
    }
    double mse = error / (w * h);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

struct VideoCase {
    const char *name;
    bool h263;
    bool fastStart;
};

void PrintTo(const VideoCase &c, std::ostream *os) { *os << c.name; }

class VideoCalls : public ::testing::TestWithParam<VideoCase>
{
};

H323Capability *MakeVideo(bool h263)
{
    if (h263)
        return new H323_H263Capability(0, 1, 0, 0, 0, 320 * 1024, 15);
    return new H323_H261Capability(1, 0, FALSE, FALSE, 6217);
}

} // namespace

TEST_P(VideoCalls, MovingLineArrivesDecodedBothWays)
{
    const VideoCase &c = GetParam();
    VideoEndPoint caller("alice", MakeVideo(c.h263)), callee("bob", MakeVideo(c.h263));
    caller.DisableFastStart(!c.fastStart);
    callee.DisableFastStart(!c.fastStart);
    PString token = caller.Call(callee.Address());
    ASSERT_FALSE(token.IsEmpty());
    ASSERT_FALSE(caller.events.WaitFor("established ").empty());
    for (VideoEndPoint *ep : {&caller, &callee}) {
        EXPECT_FALSE(ep->events.WaitFor("started video tx").empty());
        EXPECT_FALSE(ep->events.WaitFor("started video rx").empty());
        std::vector<BYTE> picture = ep->WaitForPictures(5);
        ASSERT_EQ(picture.size(), 176u * 144 * 3 / 2) << "pictures arrived: " << ep->received.pictures;
        EXPECT_GT(MovingLinePsnr(picture), 28.0);
    }
    H323Connection *connection = caller.FindConnectionWithLock(token);
    ASSERT_NE(connection, nullptr);
    H323Channel *video = connection->FindChannel(OpalMediaFormat::DefaultVideoSessionID, FALSE);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->GetCapability().GetFormatName(), c.h263 ? "H.263" : "H.261");
    connection->Unlock();
    ASSERT_TRUE(caller.ClearCall(token));
    EXPECT_EQ(WaitCleared(caller), H323CallEndReasons::EndedByLocalUser);
    EXPECT_EQ(WaitCleared(callee), H323CallEndReasons::EndedByRemoteUser);
}

INSTANTIATE_TEST_SUITE_P(Codecs, VideoCalls,
                         ::testing::Values(VideoCase{"h263H245", true, false},
                                           VideoCase{"h263FastStart", true, true},
                                           VideoCase{"h261H245", false, false},
                                           VideoCase{"h261FastStart", false, true}),
                         [](const auto &info) { return std::string(info.param.name); });

struct RefusalCase {
    const char *name;
    bool fastStart;
    bool calleeRefusesReceive;
    bool callerRefusesTransmit;
};

static void PrintTo(const RefusalCase &c, std::ostream *os) { *os << c.name; }

class VideoRefusals : public ::testing::TestWithParam<RefusalCase>
{
};

TEST_P(VideoRefusals, CallKeepsItsAudioWithoutThatVideoChannel)
{
    const RefusalCase &r = GetParam();
    VideoEndPoint caller("alice", MakeVideo(true)), callee("bob", MakeVideo(true));
    caller.DisableFastStart(!r.fastStart);
    callee.DisableFastStart(!r.fastStart);
    callee.refuseReceive = r.calleeRefusesReceive;
    caller.refuseTransmit = r.callerRefusesTransmit;
    PString token = caller.Call(callee.Address());
    ASSERT_FALSE(token.IsEmpty());
    ASSERT_FALSE(caller.events.WaitFor("established ").empty());
    ASSERT_FALSE(callee.events.WaitFor("established ").empty());
    EXPECT_FALSE(caller.events.WaitFor("started audio tx").empty());
    EXPECT_FALSE(callee.events.WaitFor("started audio rx").empty());
    // Video the other way still runs.
    EXPECT_EQ(caller.WaitForPictures(3).size(), 176u * 144 * 3 / 2);
    VideoEndPoint &refuser = r.calleeRefusesReceive ? callee : caller;
    EXPECT_TRUE(refuser.events.Has(r.calleeRefusesReceive ? "refused video rx" : "refused video tx"));
    EXPECT_FALSE(caller.events.Has("started video tx"));
    // A fast start channel the peer accepted before ours failed is closed again.
    if (callee.events.Has("started video rx")) {
        EXPECT_FALSE(callee.events.WaitFor("closed video rx").empty());
    }
    H323Connection *connection = caller.FindConnectionWithLock(token);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connection->FindChannel(OpalMediaFormat::DefaultVideoSessionID, FALSE), nullptr);
    connection->Unlock();
    PStringArray calleeCalls = callee.GetAllConnections();
    ASSERT_EQ(calleeCalls.GetSize(), 1);
    connection = callee.FindConnectionWithLock(calleeCalls[0]);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connection->FindChannel(OpalMediaFormat::DefaultVideoSessionID, TRUE), nullptr);
    connection->Unlock();
    ASSERT_TRUE(caller.ClearCall(token));
    EXPECT_EQ(WaitCleared(caller), H323CallEndReasons::EndedByLocalUser);
    EXPECT_EQ(WaitCleared(callee), H323CallEndReasons::EndedByRemoteUser);
}

INSTANTIATE_TEST_SUITE_P(
    OpenVideoChannel, VideoRefusals,
    ::testing::Values(RefusalCase{"receiverRefusesH245", false, true, false},
                      RefusalCase{"receiverRefusesFastStart", true, true, false},
                      RefusalCase{"transmitterRefusesH245", false, false, true},
                      RefusalCase{"transmitterRefusesFastStart", true, false, true}),
    [](const auto &info) { return std::string(info.param.name); });
