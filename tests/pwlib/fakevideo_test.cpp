// The video input registry and the FakeVideo test patterns.
#include <pwlib/video/pvideoinputdevice.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

constexpr unsigned kWidth = 176, kHeight = 144;
constexpr size_t kFrameBytes = kWidth * kHeight * 3 / 2;

std::unique_ptr<PVideoInputDevice> StartedFake(unsigned rate = 30, int channel = 0)
{
    std::unique_ptr<PVideoInputDevice> dev(PVideoInputDevice::CreateDevice("FakeVideo"));
    EXPECT_TRUE(dev->SetColourFormat("YUV420P"));
    EXPECT_TRUE(dev->SetVideoFormat(PVideoDevice::PAL));
    EXPECT_TRUE(dev->SetFrameSize(kWidth, kHeight));
    EXPECT_TRUE(dev->SetFrameRate(rate));
    EXPECT_TRUE(dev->SetChannel(channel));
    EXPECT_TRUE(dev->Start()); // without Open, as the test pattern is used
    return dev;
}

/// Rows of the Y plane that are white.
std::vector<unsigned> WhiteRows(const std::vector<BYTE> &frame)
{
    std::vector<unsigned> rows;
    for (unsigned row = 0; row < kHeight; ++row) {
        bool white = true;
        for (unsigned col = 0; col < kWidth; ++col)
            white &= frame[row * kWidth + col] == 235;
        if (white)
            rows.push_back(row);
    }
    return rows;
}

TEST(VideoInputRegistry, KnowsFakeVideoAndRefusesUnknownNames)
{
    PStringList drivers = PVideoInputDevice::GetDriverNames();
    EXPECT_NE(drivers.GetStringsIndex("FakeVideo"), P_MAX_INDEX);
    EXPECT_NE(drivers.GetStringsIndex("V4L2"), P_MAX_INDEX);

    std::unique_ptr<PVideoInputDevice> fake(PVideoInputDevice::CreateDevice("FakeVideo"));
    ASSERT_NE(fake, nullptr);
    EXPECT_EQ(PVideoInputDevice::CreateDevice("NoSuchDriver"), nullptr);
    EXPECT_EQ(PVideoInputDevice::CreateDeviceByName("No Such Camera"), nullptr);
    EXPECT_EQ(PVideoInputDevice::CreateDeviceByName(""), nullptr);
    // A driver name is not a device name.
    EXPECT_EQ(PVideoInputDevice::CreateDeviceByName("V4L2"), nullptr);

    std::unique_ptr<PVideoInputDevice> byName(PVideoInputDevice::CreateDeviceByName("fake"));
    EXPECT_NE(byName, nullptr);
}

TEST(VideoInputRegistry, AbsentCameraFailsToOpen)
{
    std::unique_ptr<PVideoInputDevice> v4l2(PVideoInputDevice::CreateDevice("V4L2"));
    ASSERT_NE(v4l2, nullptr);
    EXPECT_FALSE(v4l2->Open("/dev/video-none", FALSE));
    EXPECT_FALSE(v4l2->IsOpen());
    EXPECT_FALSE(v4l2->Start());
    std::vector<BYTE> frame(kFrameBytes);
    EXPECT_FALSE(v4l2->GetFrameData(frame.data()));
}

TEST(FakeVideo, DeliversYuv420pFramesAtTheSetSize)
{
    auto dev = StartedFake();
    EXPECT_EQ(dev->GetMaxFrameBytes(), PINDEX(kFrameBytes));
    std::vector<BYTE> frame(kFrameBytes, 0xAA);
    PINDEX bytes = 0;
    ASSERT_TRUE(dev->GetFrameData(frame.data(), &bytes));
    EXPECT_EQ(bytes, PINDEX(kFrameBytes));
    // Black and white only: neutral chroma in both planes.
    for (size_t i = kWidth * kHeight; i < kFrameBytes; ++i)
        ASSERT_EQ(frame[i], 128) << "chroma byte " << i;

    ASSERT_TRUE(dev->SetFrameSize(352, 288));
    EXPECT_EQ(dev->GetMaxFrameBytes(), 352 * 288 * 3 / 2);
    EXPECT_FALSE(dev->SetFrameSize(0, 144));
    EXPECT_FALSE(dev->SetColourFormat("RGB24"));
    EXPECT_FALSE(dev->SetColourFormatConverter("RGB24"));
}

TEST(FakeVideo, TheMovingLineMovesDownFromFrameToFrame)
{
    auto dev = StartedFake();
    std::vector<BYTE> frame(kFrameBytes);
    std::vector<unsigned> tops;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(dev->GetFrameData(frame.data()));
        std::vector<unsigned> rows = WhiteRows(frame);
        ASSERT_FALSE(rows.empty()) << "frame " << i << " has no line";
        ASSERT_LT(rows.size(), 8u);
        tops.push_back(rows.front());
    }
    for (size_t i = 1; i < tops.size(); ++i)
        EXPECT_GT(tops[i], tops[i - 1]);
}

TEST(FakeVideo, ChannelsSelectPatterns)
{
    auto dev = StartedFake(30, 1);
    EXPECT_EQ(dev->GetNumChannels(), 3);
    EXPECT_FALSE(dev->SetChannel(3));
    EXPECT_FALSE(dev->SetChannel(-1));
    std::vector<BYTE> frame(kFrameBytes);
    ASSERT_TRUE(dev->GetFrameData(frame.data()));
    EXPECT_TRUE(WhiteRows(frame).empty());
    // Colour bars: 75 % white on the left, black on the right.
    EXPECT_EQ(frame[0], 180);
    EXPECT_EQ(frame[kWidth - 1], 16);
}

TEST(FakeVideo, PacesFramesAtTheFrameRate)
{
    auto dev = StartedFake(20);
    std::vector<BYTE> frame(kFrameBytes);
    ASSERT_TRUE(dev->GetFrameData(frame.data()));
    auto start = Clock::now();
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(dev->GetFrameData(frame.data()));
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_GE(elapsed.count(), 195); // four periods of 50 ms, never early
    EXPECT_LT(elapsed.count(), 2000);
}

TEST(FakeVideo, StopFromAnotherThreadEndsABlockedRead)
{
    auto dev = StartedFake(1);
    std::vector<BYTE> frame(kFrameBytes);
    ASSERT_TRUE(dev->GetFrameData(frame.data()));
    auto blocked = std::async(std::launch::async, [&] { return dev->GetFrameData(frame.data()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto start = Clock::now();
    dev->Stop();
    ASSERT_EQ(blocked.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_FALSE(blocked.get());
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_FALSE(dev->GetFrameData(frame.data()));
}

} // namespace
