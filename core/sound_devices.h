// Names of the sound system's default playback and recording devices, and the texts that say
// a device could not be opened.
#pragma once

#include <win/cstring.h>

/// The device the sound system plays to when none is chosen: the sound channel's default
/// ("Default"), spelt as its device list spells it.
CString DefaultPlayDeviceName();
/// The device the sound system records from when none is chosen ("Default").
CString DefaultRecordDeviceName();

/// What the user is told when the playback or the recording device cannot be opened.
inline constexpr const char *kCannotOpenOutputDevice = "Cannot Open Sound Output Device!";
inline constexpr const char *kCannotOpenInputDevice = "Cannot Open Sound Input Device!";
