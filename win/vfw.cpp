// capGetDriverDescriptionA: VIDIOC_QUERYCAP on the V4L2 device of the index.
#include <win/vfw.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <mutex>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

std::mutex g_folderMutex;
std::string g_folder = "/dev";

void Copy(LPSTR to, int size, const std::string &from)
{
    if (!to || size <= 0)
        return;
    size_t n = std::min(from.size(), size_t(size - 1));
    std::memcpy(to, from.data(), n);
    to[n] = '\0';
}

} // namespace

void win::testing::SetVideoDeviceFolder(const char *folder)
{
    std::lock_guard<std::mutex> lock(g_folderMutex);
    g_folder = folder ? folder : "/dev";
}

BOOL capGetDriverDescriptionA(WORD wDriverIndex, LPSTR lpszName, int cbName, LPSTR lpszVer,
                              int cbVer)
{
    if (wDriverIndex > 9)
        return FALSE;
    std::string path;
    {
        std::lock_guard<std::mutex> lock(g_folderMutex);
        path = g_folder + "/video" + std::to_string(wDriverIndex);
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return FALSE;
    v4l2_capability cap{};
    bool ok = ::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
    ::close(fd);
    uint32_t caps = cap.capabilities & V4L2_CAP_DEVICE_CAPS ? cap.device_caps : cap.capabilities;
    if (!ok || !(caps & V4L2_CAP_VIDEO_CAPTURE))
        return FALSE;
    auto field = [](const __u8 *s, size_t n) {
        return std::string(reinterpret_cast<const char *>(s), strnlen(reinterpret_cast<const char *>(s), n));
    };
    char version[32];
    std::snprintf(version, sizeof version, "%u.%u.%u", (cap.version >> 16) & 0xFF,
                  (cap.version >> 8) & 0xFF, cap.version & 0xFF);
    Copy(lpszName, cbName, field(cap.card, sizeof cap.card));
    Copy(lpszVer, cbVer, field(cap.driver, sizeof cap.driver) + " " + version);
    return TRUE;
}
