// Default sound device names: ALSA's "default" device for both directions.
#include <core/sound_devices.h>

CString DefaultPlayDeviceName()
{
    return "default";
}

CString DefaultRecordDeviceName()
{
    return "default";
}
