// PVideoInputDevice: the driver registry.
#include <pwlib/video/internal/fakevideo.h>
#include <pwlib/video/internal/v4l2device.h>
#include <pwlib/video/pvideoinputdevice.h>

namespace
{

const char kV4l2Driver[] = "V4L2";
const char kFakeDriver[] = "FakeVideo";

} // namespace

PStringList PVideoInputDevice::GetDriverNames()
{
    return PStringList{kV4l2Driver, kFakeDriver};
}

PStringList PVideoInputDevice::GetDriversDeviceNames(const PString &driverName)
{
    if (driverName == kV4l2Driver)
        return pwlib::video::V4l2InputDevice::ListDevices();
    if (driverName == kFakeDriver)
        return pwlib::video::FakeVideoInputDevice::ListDevices();
    return PStringList();
}

PVideoInputDevice *PVideoInputDevice::CreateDevice(const PString &driverName)
{
    if (driverName == kV4l2Driver)
        return new pwlib::video::V4l2InputDevice;
    if (driverName == kFakeDriver)
        return new pwlib::video::FakeVideoInputDevice;
    return nullptr;
}

PVideoInputDevice *PVideoInputDevice::CreateDeviceByName(const PString &deviceName)
{
    if (deviceName.IsEmpty())
        return nullptr;
    if (pwlib::video::V4l2InputDevice::IsDeviceName(deviceName))
        return new pwlib::video::V4l2InputDevice;
    if (pwlib::video::FakeVideoInputDevice::ListDevices().GetStringsIndex(deviceName) !=
        P_MAX_INDEX)
        return new pwlib::video::FakeVideoInputDevice;
    return nullptr;
}

PINDEX PVideoInputDevice::GetMaxFrameBytes()
{
    return PColourConverter::FrameBytes(colourFormat_, frameWidth_, frameHeight_);
}
