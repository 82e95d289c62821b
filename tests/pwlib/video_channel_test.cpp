// PVideoChannel: reads with the local preview, writes, and a close racing the codec thread.
#include <pwlib/video/pvideochannel.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

/// What a display leaves behind when it is deleted.
struct DisplayTrace {
    std::atomic<bool> deleted{false};
    std::atomic<bool> inFrame{false};
    std::atomic<bool> deletedInFrame{false};
};

/// A display that counts its frames and notes its deletion.
class CountingDisplay : public PVideoOutputDeviceRGB
{
  public:
    explicit CountingDisplay(DisplayTrace *trace = nullptr,
                             std::chrono::milliseconds frameTime = 0ms)
        : trace_(trace), frameTime_(frameTime)
    {
        SetColourFormatConverter("YUV420P");
    }
    ~CountingDisplay() override
    {
        if (trace_ != nullptr) {
            trace_->deletedInFrame = trace_->inFrame.load();
            trace_->deleted = true;
        }
    }
    BOOL Open(const PString &, BOOL) override { return TRUE; }
    BOOL IsOpen() override { return TRUE; }
    PStringList GetDeviceNames() const override { return PStringList{"display"}; }
    BOOL EndFrame() override
    {
        if (trace_ != nullptr)
            trace_->inFrame = true;
        std::this_thread::sleep_for(frameTime_);
        ++frames;
        if (trace_ != nullptr)
            trace_->inFrame = false;
        return TRUE;
    }
    const BYTE *Store() const { return frameStore_.GetPointer(); }

    std::atomic<int> frames{0};

  private:
    DisplayTrace *trace_;
    std::chrono::milliseconds frameTime_;
};

PVideoInputDevice *StartedFake(unsigned rate)
{
    PVideoInputDevice *dev = PVideoInputDevice::CreateDevice("FakeVideo");
    dev->SetColourFormat("YUV420P");
    dev->SetFrameSize(176, 144);
    dev->SetFrameRate(rate);
    dev->SetChannel(0);
    dev->Start();
    return dev;
}

TEST(VideoChannel, ReadShowsTheGrabbedFrameOnTheAttachedPlayer)
{
    PVideoChannel channel;
    EXPECT_FALSE(channel.IsOpen());
    ASSERT_TRUE(channel.AttachVideoReader(StartedFake(30)));
    auto *preview = new CountingDisplay;
    preview->SetFrameSize(176, 144);
    ASSERT_TRUE(channel.AttachVideoPlayer(preview));
    EXPECT_TRUE(channel.IsOpen());
    EXPECT_EQ(channel.GetGrabWidth(), 176);
    EXPECT_EQ(channel.GetGrabHeight(), 144);

    std::vector<BYTE> frame(channel.GetMaxFrameBytes());
    ASSERT_TRUE(channel.Read(frame.data(), PINDEX(frame.size())));
    EXPECT_EQ(channel.GetLastReadCount(), 176 * 144 * 3 / 2);
    EXPECT_EQ(preview->frames, 1);
    // The preview holds the same picture: white where the line is, black elsewhere.
    for (unsigned row = 0; row < 144; ++row) {
        BYTE expected = frame[row * 176] == 235 ? 255 : 0;
        ASSERT_EQ(preview->Store()[row * 176 * 3], expected) << "row " << row;
    }

    EXPECT_FALSE(channel.Read(frame.data(), 100));
    EXPECT_EQ(channel.GetErrorCode(PChannel::LastReadError), PChannel::BufferTooSmall);
}

TEST(VideoChannel, WriteShowsTheFrameAtTheRenderSize)
{
    PVideoChannel channel;
    auto *display = new CountingDisplay;
    ASSERT_TRUE(channel.AttachVideoPlayer(display));
    ASSERT_TRUE(channel.SetRenderFrameSize(32, 16));
    EXPECT_EQ(channel.GetRenderWidth(), 32);
    EXPECT_EQ(channel.GetRenderHeight(), 16);

    std::vector<BYTE> frame(32 * 16, 235);
    frame.resize(32 * 16 * 3 / 2, 128);
    EXPECT_FALSE(channel.Write(frame.data(), 100));
    ASSERT_TRUE(channel.Write(frame.data(), PINDEX(frame.size())));
    EXPECT_EQ(display->GetFrameWidth(), 32u);
    EXPECT_EQ(display->GetFrameHeight(), 16u);
    EXPECT_EQ(display->frames, 1);
    EXPECT_EQ(display->Store()[0], 255);

    std::vector<BYTE> buffer(1000);
    EXPECT_FALSE(channel.Read(buffer.data(), 1000)); // no reader
    EXPECT_EQ(channel.GetErrorCode(PChannel::LastReadError), PChannel::NotOpen);
}

TEST(VideoChannel, CloseFromAnotherThreadEndsABlockedReadAndDeletesTheDevices)
{
    DisplayTrace display;
    auto channel = std::make_unique<PVideoChannel>();
    channel->AttachVideoReader(StartedFake(1)); // one frame a second: the next read blocks
    channel->AttachVideoPlayer(new CountingDisplay(&display));

    std::vector<BYTE> frame(176 * 144 * 3 / 2);
    ASSERT_TRUE(channel->Read(frame.data(), PINDEX(frame.size())));
    auto reader = std::async(std::launch::async, [&] {
        int reads = 0;
        while (channel->Read(frame.data(), PINDEX(frame.size())))
            ++reads;
        return reads;
    });
    std::this_thread::sleep_for(50ms);
    auto start = Clock::now();
    EXPECT_TRUE(channel->Close());
    EXPECT_LT(Clock::now() - start, 500ms);
    ASSERT_EQ(reader.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(reader.get(), 0);
    EXPECT_TRUE(display.deleted);
    EXPECT_FALSE(channel->IsOpen());
    EXPECT_FALSE(channel->Close());
}

TEST(VideoChannel, CloseWaitsForAWriteInProgress)
{
    DisplayTrace trace;
    PVideoChannel channel;
    auto *display = new CountingDisplay(&trace, 20ms);
    display->SetFrameSize(176, 144);
    channel.AttachVideoPlayer(display);

    auto writer = std::async(std::launch::async, [&] {
        std::vector<BYTE> frame(176 * 144 * 3 / 2, 128);
        while (channel.Write(frame.data(), PINDEX(frame.size()))) {
        }
    });
    // Close once a frame is being shown (a frame takes 20 ms); the display must outlive it
    // however the threads are scheduled.
    auto deadline = Clock::now() + 5s;
    while (!trace.inFrame && Clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(trace.inFrame) << "the writer never showed a frame";
    EXPECT_TRUE(channel.Close());
    EXPECT_TRUE(trace.deleted);
    EXPECT_FALSE(trace.deletedInFrame) << "deleted while a frame was being shown";
    ASSERT_EQ(writer.wait_for(5s), std::future_status::ready);
}

TEST(VideoChannel, AttachingAReaderWithoutAutoDeleteLeavesItToTheOwner)
{
    PVideoInputDevice *owned = StartedFake(30);
    {
        PVideoChannel channel;
        channel.AttachVideoReader(owned, FALSE);
        std::vector<BYTE> frame(owned->GetMaxFrameBytes());
        EXPECT_TRUE(channel.Read(frame.data(), PINDEX(frame.size())));
    }
    // Closed with the channel, but not deleted.
    EXPECT_FALSE(owned->IsOpen());
    EXPECT_TRUE(owned->Start());
    delete owned;
}

} // namespace
