// Video capture driver names (AVICAP32) over the V4L2 devices /dev/video0 to /dev/video9.
#pragma once

#include <win/windef.h>

/// Driver wIndex is /dev/video<wIndex>: its card name and its driver name with version.
/// FALSE when the device is absent or is not a V4L2 capture device.
BOOL capGetDriverDescriptionA(WORD wDriverIndex, LPSTR lpszName, int cbName, LPSTR lpszVer,
                              int cbVer);

namespace win::testing {
/// Looks for the video devices in another folder (null: /dev).
void SetVideoDeviceFolder(const char *folder);
} // namespace win::testing
