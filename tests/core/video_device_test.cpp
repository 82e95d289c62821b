// CVideoDevice and the video channel's media path: pixels, flips, areas, the drawing flag,
// and the devices chosen from the video options.
#include <core/settings.h>
#include <core/video_channel.h>
#include <core/video_device.h>
#include <core/video_window.h>

#include <h323/codecs/codec.h>
#include <pwlib/video/pvideochannel.h>
#include <win/module_testing.h>

#include <tests/support/temp_dir.h>

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <vector>

namespace
{

/// A chat window with video areas of given sizes that keeps what is drawn into them.
class FakeVideoWindow : public CVideoWindow
{
  public:
    struct Picture {
        int areaWidth = 0, areaHeight = 0, width = 0, height = 0;
        std::vector<DWORD> pixels;
        int draws = 0;
    };

    BOOL GetVideoAreaSize(int nID, int *width, int *height) override
    {
        auto it = sizes.find(nID);
        if (it == sizes.end())
            return FALSE;
        *width = it->second.first;
        *height = it->second.second;
        return TRUE;
    }
    int DrawVideoArea(int nID, int areaWidth, int areaHeight, const void *bits,
                      const BITMAPINFO *info) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        Picture &p = pictures[nID];
        p.areaWidth = areaWidth;
        p.areaHeight = areaHeight;
        p.width = info->bmiHeader.biWidth;
        p.height = info->bmiHeader.biHeight;
        EXPECT_EQ(info->bmiHeader.biBitCount, 32);
        EXPECT_EQ(info->bmiHeader.biPlanes, 1);
        EXPECT_GT(p.height, 0) << "bottom-up";
        const auto *px = static_cast<const DWORD *>(bits);
        p.pixels.assign(px, px + p.width * p.height);
        ++p.draws;
        return p.height;
    }
    Picture Get(int nID)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return pictures[nID];
    }

    std::map<int, std::pair<int, int>> sizes{{kLocalArea, {117 * 3 / 2, 89 * 13 / 8}},
                                             {kRemoteArea, {175, 144}}};
    std::mutex mutex;
    std::map<int, Picture> pictures;
};

/// A video codec that only keeps the channel attached to it.
class KeepingCodec : public H323VideoCodec
{
  public:
    explicit KeepingCodec(Direction d) : H323VideoCodec("H.263", d) {}
    BOOL Read(BYTE *, unsigned &, RTP_DataFrame &) override { return FALSE; }
    BOOL Write(const BYTE *, unsigned, const RTP_DataFrame &, unsigned &) override { return FALSE; }
    PVideoChannel *Channel() const { return dynamic_cast<PVideoChannel *>(rawDataChannel); }
};

// A 3 x 2 BGR24 frame whose pixel i has blue i + 1, green 0x10 * (i + 1), red 0x80.
std::vector<BYTE> NumberedFrame()
{
    std::vector<BYTE> frame;
    for (int i = 0; i < 6; ++i)
        frame.insert(frame.end(), {BYTE(i + 1), BYTE(0x10 * (i + 1)), 0x80});
    return frame;
}

DWORD Numbered(int i)
{
    return DWORD(i + 1) | DWORD(0x10 * (i + 1)) << 8 | 0x800000u;
}

TEST(VideoDevice, FlipsPlacePixelsAsTheOptionsSay)
{
    struct Case {
        int flip, mirror;
        std::vector<int> source; // source pixel at each buffer position
    } cases[] = {
        {0, 0, {0, 1, 2, 3, 4, 5}},
        {1, 0, {3, 4, 5, 0, 1, 2}},
        {0, 1, {2, 1, 0, 5, 4, 3}},
        {1, 1, {5, 4, 3, 2, 1, 0}},
    };
    for (const Case &c : cases) {
        FakeVideoWindow window;
        window.m_bVideoInCall = 1;
        CVideoDevice dev(&window, "peer", c.flip, c.mirror, 0);
        ASSERT_TRUE(dev.SetFrameSize(3, 2));
        std::vector<BYTE> frame = NumberedFrame();
        ASSERT_TRUE(dev.SetFrameData(0, 0, 3, 2, frame.data(), TRUE));
        FakeVideoWindow::Picture p = window.Get(CVideoWindow::kRemoteArea);
        ASSERT_EQ(p.draws, 1);
        ASSERT_EQ(p.pixels.size(), 6u);
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(p.pixels[size_t(k)], Numbered(c.source[size_t(k)]))
                << "flip " << c.flip << " mirror " << c.mirror << " at " << k;
        EXPECT_EQ(p.areaWidth, 175);
        EXPECT_EQ(p.areaHeight, 144);
    }
}

TEST(VideoDevice, AreasNamesAndOpenState)
{
    FakeVideoWindow window;
    window.m_bVideoInCall = 1;
    window.sizes[CVideoWindow::kLocalArea] = {0, 0}; // no client area
    CVideoDevice preview(&window, "me", 0, 0, 1);
    EXPECT_TRUE(preview.Open("anything", TRUE));
    EXPECT_FALSE(preview.IsOpen()) << "no area before the frame size";
    EXPECT_EQ(preview.GetDeviceNames(), PStringList{"me"});
    EXPECT_FALSE(preview.SetFrameSize(0, 144));
    EXPECT_FALSE(preview.SetFrameSize(176, 0));
    ASSERT_TRUE(preview.SetFrameSize(3, 2));
    EXPECT_TRUE(preview.IsOpen());
    EXPECT_TRUE(preview.SetFrameSize(3, 2)) << "unchanged";
    std::vector<BYTE> frame = NumberedFrame();
    ASSERT_TRUE(preview.SetFrameData(0, 0, 3, 2, frame.data(), TRUE));
    FakeVideoWindow::Picture p = window.Get(CVideoWindow::kLocalArea);
    EXPECT_EQ(p.draws, 1);
    EXPECT_EQ(p.areaWidth, kQcifWidth) << "an empty area is drawn at QCIF";
    EXPECT_EQ(p.areaHeight, kQcifHeight);
    EXPECT_EQ(window.Get(CVideoWindow::kRemoteArea).draws, 0);

    // A window without the area, and no window at all: nothing is drawn, the device is closed.
    window.sizes.erase(CVideoWindow::kRemoteArea);
    CVideoDevice remote(&window, "peer", 0, 0, 0);
    ASSERT_TRUE(remote.SetFrameSize(3, 2));
    EXPECT_FALSE(remote.IsOpen());
    EXPECT_TRUE(remote.SetFrameData(0, 0, 3, 2, frame.data(), TRUE));
    CVideoDevice orphan(nullptr, "peer", 0, 0, 0);
    ASSERT_TRUE(orphan.SetFrameSize(3, 2));
    EXPECT_FALSE(orphan.IsOpen());
    EXPECT_TRUE(orphan.SetFrameData(0, 0, 3, 2, frame.data(), TRUE));
    EXPECT_EQ(window.Get(CVideoWindow::kRemoteArea).draws, 0);
}

TEST(VideoDevice, ClearingTheVideoFlagStopsDrawingWithoutClosing)
{
    FakeVideoWindow window;
    CVideoDevice dev(&window, "peer", 0, 0, 0);
    ASSERT_TRUE(dev.SetFrameSize(3, 2));
    std::vector<BYTE> frame = NumberedFrame();
    EXPECT_TRUE(dev.SetFrameData(0, 0, 3, 2, frame.data(), TRUE));
    EXPECT_EQ(window.Get(CVideoWindow::kRemoteArea).draws, 0) << "flag not yet set";
    window.m_bVideoInCall = 1;
    EXPECT_TRUE(dev.SetFrameData(0, 0, 3, 2, frame.data(), TRUE));
    EXPECT_EQ(window.Get(CVideoWindow::kRemoteArea).draws, 1);
    window.ClearVideoCall();
    EXPECT_TRUE(dev.SetFrameData(0, 0, 3, 2, frame.data(), TRUE));
    EXPECT_EQ(window.Get(CVideoWindow::kRemoteArea).draws, 1);
    EXPECT_TRUE(dev.IsOpen());
    // A partial frame is stored without drawing; a rectangle outside the frame is refused.
    EXPECT_TRUE(dev.SetFrameData(1, 1, 1, 1, frame.data(), FALSE));
    EXPECT_FALSE(dev.SetFrameData(2, 1, 2, 1, frame.data(), FALSE));
}

// YUV420P QCIF: the top half white, the bottom half black.
std::vector<BYTE> TopWhiteFrame()
{
    std::vector<BYTE> frame(size_t(kQcifWidth) * kQcifHeight * 3 / 2, 128);
    for (int r = 0; r < kQcifHeight; ++r)
        std::fill_n(frame.begin() + r * kQcifWidth, kQcifWidth,
                    BYTE(r < kQcifHeight / 2 ? 235 : 16));
    return frame;
}

bool IsBright(DWORD px)
{
    return (px & 0xff) > 200;
}

/// The settings store in a directory of its own.
class VideoChannelPath : public ::testing::Test
{
  protected:
    VideoChannelPath() { win::testing::OverrideExecutablePath(tmp.file("kestrelin").c_str()); }
    ~VideoChannelPath() override { win::testing::OverrideExecutablePath(nullptr); }

    kestrelin::testing::TempDir tmp;
};

TEST_F(VideoChannelPath, ReceivedPictureFlipUnlessThePeerIsNetMeeting)
{
    struct Case {
        const char *application;
        int remoteFlip;
        bool firstRowBright; // buffer row 0 (drawn at the bottom)
    } cases[] = {
        {"Kestrelin\t1.0\t", 1, false},
        {"Kestrelin\t1.0\t", 0, true},
        {"Microsoft\tNetMeeting\t3.01", 1, true},
    };
    for (const Case &c : cases) {
        CSettings settings;
        settings.m_nVideo[7] = c.remoteFlip;
        FakeVideoWindow window;
        KeepingCodec codec(H323Codec::Decoder);
        ASSERT_TRUE(OpenCallVideoChannel(&window, settings, TRUE, {c.application, "peer", "me"},
                                         FALSE, codec));
        PVideoChannel *channel = codec.Channel();
        ASSERT_NE(channel, nullptr);
        EXPECT_EQ(window.GetReceiveVideoChannel(), channel);
        EXPECT_EQ(window.GetTransmitVideoChannel(), nullptr);
        EXPECT_EQ(window.m_bVideoInCall, 1);
        std::vector<BYTE> frame = TopWhiteFrame();
        ASSERT_TRUE(channel->Write(frame.data(), PINDEX(frame.size())));
        FakeVideoWindow::Picture p = window.Get(CVideoWindow::kRemoteArea);
        ASSERT_EQ(p.draws, 1);
        EXPECT_EQ(p.width, kQcifWidth);
        EXPECT_EQ(IsBright(p.pixels.front()), c.firstRowBright) << c.application;
        EXPECT_EQ(IsBright(p.pixels.back()), !c.firstRowBright) << c.application;
        EXPECT_TRUE(window.CloseReceiveVideoChannel());
        EXPECT_EQ(window.GetReceiveVideoChannel(), nullptr);
        EXPECT_FALSE(window.CloseReceiveVideoChannel());
    }
}

TEST_F(VideoChannelPath, TransmitFallsBackToTheMovingLineAndShowsThePreview)
{
    CSettings settings;
    settings.m_nVideo[2] = 1;  // local preview
    settings.m_nVideo[9] = 10; // a capture driver that does not exist
    settings.m_nVideo[12] = 20;
    settings.m_nVideo[13] = 100;
    settings.m_nVideo[14] = 30;
    FakeVideoWindow window;
    KeepingCodec codec(H323Codec::Encoder);
    ASSERT_TRUE(OpenCallVideoChannel(&window, settings, TRUE, {"", "peer", "me"}, TRUE, codec));
    EXPECT_EQ(codec.GetTxQualityLevel(), 30);
    EXPECT_EQ(codec.GetBackgroundFill(), 2);
    EXPECT_EQ(codec.GetMaxBitRate(), 100u * 1024);
    EXPECT_EQ(codec.GetVideoMode(), 3);
    PVideoChannel *channel = codec.Channel();
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(window.GetTransmitVideoChannel(), channel);
    EXPECT_EQ(window.m_bVideoInCall, 1);
    EXPECT_TRUE(channel->IsGrabberOpen());
    std::vector<BYTE> buffer(size_t(channel->GetMaxFrameBytes()));
    ASSERT_EQ(buffer.size(), size_t(kQcifWidth) * kQcifHeight * 3 / 2);
    ASSERT_TRUE(channel->Read(buffer.data(), PINDEX(buffer.size())));
    ASSERT_TRUE(channel->Read(buffer.data(), PINDEX(buffer.size())));
    FakeVideoWindow::Picture p = window.Get(CVideoWindow::kLocalArea);
    EXPECT_EQ(p.draws, 2) << "the grabbed frames are shown in the local area";
    EXPECT_EQ(p.width, kQcifWidth);
    EXPECT_EQ(window.Get(CVideoWindow::kRemoteArea).draws, 0);
    // STOP: the channel closes and is forgotten; the codec still owns it.
    EXPECT_TRUE(window.CloseTransmitVideoChannel());
    EXPECT_FALSE(channel->IsOpen());
    EXPECT_EQ(window.GetTransmitVideoChannel(), nullptr);
}

TEST_F(VideoChannelPath, NoTransmitChannelWithoutAutoStart)
{
    CSettings settings;
    FakeVideoWindow window;
    KeepingCodec codec(H323Codec::Encoder);
    EXPECT_FALSE(OpenCallVideoChannel(&window, settings, FALSE, {"", "peer", "me"}, TRUE, codec));
    EXPECT_EQ(codec.Channel(), nullptr);
    EXPECT_EQ(window.GetTransmitVideoChannel(), nullptr);
    EXPECT_EQ(window.m_bVideoInCall, 0);
    // Without a chat window the transmit path still runs on the pattern.
    EXPECT_TRUE(OpenCallVideoChannel(nullptr, settings, TRUE, {"", "peer", "me"}, TRUE, codec));
    EXPECT_TRUE(codec.Channel()->IsGrabberOpen());
}

TEST(VideoWindow, ForgettingAChannelClearsOnlyItsPointer)
{
    FakeVideoWindow window;
    PVideoChannel rx, tx;
    window.SetReceiveVideoChannel(&rx);
    window.SetTransmitVideoChannel(&tx);
    window.ForgetVideoChannel(&tx);
    EXPECT_EQ(window.GetTransmitVideoChannel(), nullptr);
    EXPECT_EQ(window.GetReceiveVideoChannel(), &rx);
    window.SetTransmitVideoChannel(&tx);
    window.ForgetVideoChannel(FALSE);
    EXPECT_EQ(window.GetTransmitVideoChannel(), nullptr);
    EXPECT_EQ(window.GetReceiveVideoChannel(), &rx);
    window.m_bVideoInCall = 1;
    window.ClearVideoCall();
    EXPECT_EQ(window.GetReceiveVideoChannel(), nullptr);
    EXPECT_EQ(window.m_bVideoInCall, 0);
}

} // namespace
