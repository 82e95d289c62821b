// PVideoInputDevice: capture devices and the registry of their drivers.
#pragma once

#include <pwlib/video/pvideodevice.h>

#include <string>

/// A source of video frames.
///
/// Drivers: "V4L2" (Video4Linux2 cameras, named by their card name, "<card> (/dev/videoN)"
/// for a second camera of the same name; the path "/dev/videoN" is accepted too) and "FakeVideo" (test patterns; one device, "fake";
/// channel n selects pattern n, 0 being the moving line). Frames are delivered in YUV420P
/// at the set frame size, paced at the set frame rate.
///
/// Stop() and Close() may be called from another thread while GetFrameData() blocks: it
/// then returns FALSE at once.
class PVideoInputDevice : public PVideoDevice
{
    PCLASSINFO(PVideoInputDevice, PVideoDevice)
  public:
    /// The drivers built in: "V4L2", "FakeVideo".
    static PStringList GetDriverNames();
    /// The device names of one driver (empty for an unknown driver).
    static PStringList GetDriversDeviceNames(const PString &driverName);
    /// A new, unopened device of the driver, or nullptr for an unknown driver.
    static PVideoInputDevice *CreateDevice(const PString &driverName);
    /// A new, unopened device of the driver that lists deviceName, or nullptr when no
    /// driver has such a device.
    static PVideoInputDevice *CreateDeviceByName(const PString &deviceName);

    /// Waits for the next frame (at most one per frame period) and copies it into buffer,
    /// which holds at least GetMaxFrameBytes(). FALSE when not capturing, on a device
    /// error, or when stopped from another thread.
    virtual BOOL GetFrameData(BYTE *buffer, PINDEX *bytesReturned = nullptr) = 0;

    /// Bytes of one frame in the delivered colour format at the set size.
    PINDEX GetMaxFrameBytes() override;
};

namespace pwlib::video
{
/// The kernel driver and its version ("uvcvideo 6.1.76") of the camera that a "V4L2" device
/// name (or node path) stands for; empty when it names no listed camera.
std::string V4l2DriverDescription(const PString &deviceName);
} // namespace pwlib::video
