// capGetDriverDescriptionA: the V4L2 cameras of the portable library, by index.
#include <win/vfw.h>

#include <pwlib/video/pvideoinputdevice.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

void Copy(LPSTR to, int size, const std::string &from)
{
    if (!to || size <= 0)
        return;
    size_t n = std::min(from.size(), size_t(size - 1));
    std::memcpy(to, from.data(), n);
    to[n] = '\0';
}

} // namespace

BOOL capGetDriverDescriptionA(WORD wDriverIndex, LPSTR lpszName, int cbName, LPSTR lpszVer,
                              int cbVer)
{
    if (wDriverIndex > 9)
        return FALSE;
    PStringList names = PVideoInputDevice::GetDriversDeviceNames("V4L2");
    if (wDriverIndex >= names.GetSize())
        return FALSE;
    std::string name = names[wDriverIndex].GetText();
    std::string version = pwlib::video::V4l2DriverDescription(names[wDriverIndex]);
    Copy(lpszName, cbName, name);
    Copy(lpszVer, cbVer, version.empty() ? std::string("V4L2") : version);
    return TRUE;
}
