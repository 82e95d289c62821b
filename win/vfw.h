// Video capture driver names (AVICAP32) over the cameras that PVideoInputDevice lists.
#pragma once

#include <win/windef.h>

/// Driver wIndex (0-9) is camera wIndex of PVideoInputDevice's "V4L2" device names: the name
/// as listed there (unique: a second camera of the same card name is "<card> (/dev/videoN)"),
/// so that PVideoInputDevice::CreateDeviceByName opens that camera; the version is its kernel
/// driver's name and version. FALSE beyond the cameras listed.
BOOL capGetDriverDescriptionA(WORD wDriverIndex, LPSTR lpszName, int cbName, LPSTR lpszVer,
                              int cbVer);
