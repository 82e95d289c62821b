// Names of the sound system's default playback and recording devices.
#pragma once

#include <win/cstring.h>

/// The device the sound system plays to when none is chosen: the sound channel's default
/// ("Default"), spelt as its device list spells it.
CString DefaultPlayDeviceName();
/// The device the sound system records from when none is chosen ("Default").
CString DefaultRecordDeviceName();
