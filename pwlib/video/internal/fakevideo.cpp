// The "FakeVideo" driver: pattern selection, pacing and stop from another thread.
#include <pwlib/internal/wait.h>
#include <pwlib/video/internal/fakevideo.h>
#include <pwlib/video/internal/frame.h>
#include <pwlib/video/internal/testpatterns.h>

namespace pwlib::video
{

PStringList FakeVideoInputDevice::ListDevices()
{
    return PStringList{"fake"};
}

FakeVideoInputDevice::FakeVideoInputDevice()
{
    deviceName_ = "fake";
}

FakeVideoInputDevice::~FakeVideoInputDevice()
{
    Close();
}

BOOL FakeVideoInputDevice::Open(const PString &deviceName, BOOL startImmediate)
{
    {
        std::lock_guard<std::mutex> lock(waitable_.mutex);
        deviceName_ = deviceName.IsEmpty() ? PString("fake") : deviceName;
        open_ = true;
    }
    return startImmediate ? Start() : TRUE;
}

BOOL FakeVideoInputDevice::IsOpen()
{
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    return open_;
}

BOOL FakeVideoInputDevice::Close()
{
    Stop();
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    bool wasOpen = open_;
    open_ = false;
    return wasOpen;
}

BOOL FakeVideoInputDevice::Start()
{
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    open_ = true;
    if (!capturing_) {
        capturing_ = true;
        firstFrame_ = true;
    }
    return TRUE;
}

BOOL FakeVideoInputDevice::Stop()
{
    std::lock_guard<std::mutex> lock(waitable_.mutex);
    capturing_ = false;
    ++stops_;
    waitable_.cond.notify_all();
    return TRUE;
}

PStringList FakeVideoInputDevice::GetDeviceNames() const
{
    return ListDevices();
}

int FakeVideoInputDevice::GetNumChannels()
{
    return kNumTestPatterns;
}

BOOL FakeVideoInputDevice::SetColourFormat(const PString &colourFormat)
{
    return colourFormat == "YUV420P";
}

BOOL FakeVideoInputDevice::SetColourFormatConverter(const PString &colourFormat)
{
    return SetColourFormat(colourFormat);
}

BOOL FakeVideoInputDevice::GetFrameData(BYTE *buffer, PINDEX *bytesReturned)
{
    if (buffer == nullptr)
        return FALSE;
    unsigned width, height, number;
    int pattern;
    {
        pwlib::WaitScope scope(waitable_);
        std::unique_lock<std::mutex> lock(waitable_.mutex);
        if (!capturing_)
            return FALSE;
        const auto period = std::chrono::microseconds(1000000 / frameRate_);
        if (!firstFrame_) {
            // Rounded up, so that a frame never comes early.
            auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextFrame_ - Clock::now());
            const unsigned stops = stops_;
            if (wait.count() > 0 && scope.Wait(lock, pwlib::Deadline::After(wait.count()),
                                               [&] { return stops_ != stops; }))
                return FALSE;
        }
        const Clock::time_point now = Clock::now();
        nextFrame_ = firstFrame_ || nextFrame_ + period < now ? now + period : nextFrame_ + period;
        firstFrame_ = false;
        width = frameWidth_;
        height = frameHeight_;
        pattern = channelNumber_;
        number = frameNumber_++;
    }
    kTestPatterns[pattern].paint(buffer, width, height, number);
    if (bytesReturned != nullptr)
        *bytesReturned = static_cast<PINDEX>(Yuv420Bytes(width, height));
    return TRUE;
}

} // namespace pwlib::video
