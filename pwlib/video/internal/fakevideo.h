// The "FakeVideo" driver: test patterns delivered as a camera would deliver frames.
#pragma once

#include <pwlib/internal/waitable.h>
#include <pwlib/video/pvideoinputdevice.h>

#include <chrono>

namespace pwlib::video
{

/// Generates the test patterns in YUV420P, paced at the frame rate. Start() works without
/// Open(); the channel number selects the pattern.
class FakeVideoInputDevice : public PVideoInputDevice
{
    PCLASSINFO(FakeVideoInputDevice, PVideoInputDevice)
  public:
    /// The one device of the driver: "fake".
    static PStringList ListDevices();

    FakeVideoInputDevice();
    ~FakeVideoInputDevice() override;

    /// Any name opens the generator.
    BOOL Open(const PString &deviceName, BOOL startImmediate = TRUE) override;
    BOOL IsOpen() override;
    BOOL Close() override;
    BOOL Start() override;
    BOOL Stop() override;
    PStringList GetDeviceNames() const override;

    /// One channel per pattern.
    int GetNumChannels() override;
    /// Only "YUV420P".
    BOOL SetColourFormat(const PString &colourFormat) override;
    BOOL SetColourFormatConverter(const PString &colourFormat) override;

    BOOL GetFrameData(BYTE *buffer, PINDEX *bytesReturned = nullptr) override;

  private:
    using Clock = std::chrono::steady_clock;

    pwlib::Waitable waitable_;
    bool open_ = false;
    bool capturing_ = false;
    unsigned stops_ = 0;
    unsigned frameNumber_ = 0;
    bool firstFrame_ = true;
    Clock::time_point nextFrame_;
};

} // namespace pwlib::video
