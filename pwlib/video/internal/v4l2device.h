// The "V4L2" driver: Video4Linux2 cameras through libv4l2, delivering YUV420P.
#pragma once

#include <pwlib/video/pvideoinputdevice.h>

#include <memory>

namespace pwlib::video
{

/// A V4L2 capture device. libv4l2 converts the camera's own pixel format to YUV420; frames
/// of another size than the one set are centre-cropped to its aspect and scaled.
class V4l2InputDevice : public PVideoInputDevice
{
    PCLASSINFO(V4l2InputDevice, PVideoInputDevice)
  public:
    /// The card name of every capture node with streaming I/O, by node number; a card name
    /// met again is listed as "<card> (/dev/videoN)".
    static PStringList ListDevices();
    /// TRUE for a listed name, or the path of a listed node.
    static bool IsDeviceName(const PString &name);

    V4l2InputDevice();
    ~V4l2InputDevice() override;

    BOOL Open(const PString &deviceName, BOOL startImmediate = TRUE) override;
    BOOL IsOpen() override;
    BOOL Close() override;
    BOOL Start() override;
    BOOL Stop() override;
    PStringList GetDeviceNames() const override;

    /// Sets the standard of an analogue input; a device without standards accepts any.
    BOOL SetVideoFormat(VideoFormat videoFormat) override;
    int GetNumChannels() override;
    BOOL SetChannel(int channelNumber) override;
    /// Only "YUV420P".
    BOOL SetColourFormat(const PString &colourFormat) override;
    BOOL SetColourFormatConverter(const PString &colourFormat) override;
    BOOL SetFrameRate(unsigned rate) override;
    BOOL SetFrameSize(unsigned width, unsigned height) override;

    BOOL GetFrameData(BYTE *buffer, PINDEX *bytesReturned = nullptr) override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace pwlib::video
