// Default sound device names: the sound channel's own default device.
#include <core/sound_devices.h>

#include <pwlib/sound/psoundchannel.h>

CString DefaultPlayDeviceName()
{
    return PSoundChannel::GetDefaultDevice(PSoundChannel::Player).GetText().c_str();
}

CString DefaultRecordDeviceName()
{
    return PSoundChannel::GetDefaultDevice(PSoundChannel::Recorder).GetText().c_str();
}
