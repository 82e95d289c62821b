// The "V4L2" driver: enumeration, format negotiation, mmap streaming, pacing and scaling.
#include <pwlib/internal/wait.h>
#include <pwlib/ptrace.h>
#include <pwlib/shared_library.h>
#include <pwlib/video/internal/frame.h>
#include <pwlib/video/internal/v4l2device.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <libv4l2.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" {
#include <libswscale/swscale.h>
}

namespace pwlib::video
{

namespace
{

using Clock = std::chrono::steady_clock;

/// Capture buffers queued to the driver.
constexpr unsigned kBufferCount = 4;

#define KESTRELIN_TEXT(x) #x
#define KESTRELIN_SONAME(major) "libswscale.so." KESTRELIN_TEXT(major)

/// libswscale, opened when the first picture is scaled (a process that captures no video
/// does not load it and the libraries it needs); null when it cannot be opened.
struct Scaling {
    decltype(&sws_getContext) getContext = nullptr;
    decltype(&sws_scale) scale = nullptr;
    decltype(&sws_freeContext) freeContext = nullptr;
};

const Scaling *Scaler()
{
    static std::once_flag once;
    static const Scaling *scaling = nullptr;
    std::call_once(once, [] {
        static pwlib::SharedLibrary library(KESTRELIN_SONAME(LIBSWSCALE_VERSION_MAJOR));
        static Scaling functions;
        if (library.GetFunction("sws_getContext", functions.getContext) &&
            library.GetFunction("sws_scale", functions.scale) &&
            library.GetFunction("sws_freeContext", functions.freeContext))
            scaling = &functions;
        else
            PTRACE(1, "V4L2\tno scaling: " << library.GetError());
    });
    return scaling;
}
/// A camera that delivers nothing for this long has failed (first frames can be slow).
constexpr int kFrameTimeoutMs = 5000;

/// ioctl through libv4l2, retried when a signal interrupts it.
int Xioctl(int fd, unsigned long request, void *arg)
{
    int result;
    do {
        result = v4l2_ioctl(fd, request, arg);
    } while (result < 0 && errno == EINTR);
    return result;
}

/// The capabilities of the node itself (a device may have several nodes).
uint32_t NodeCaps(const v4l2_capability &cap)
{
    return (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
}

bool IsCaptureNode(const v4l2_capability &cap)
{
    uint32_t caps = NodeCaps(cap);
    return (caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING);
}

/// The listed nodes: device name -> path, in node-number order. A node is named by its card
/// name; a card name met again gets the node's path added, so that every name is unique.
std::vector<std::pair<std::string, std::string>> ScanNodes()
{
    std::map<int, std::string> nodes;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator("/dev", ec)) {
        std::string file = entry.path().filename().string();
        if (file.rfind("video", 0) != 0 || file.size() == 5 || file.size() > 8 ||
            file.find_first_not_of("0123456789", 5) != std::string::npos)
            continue;
        nodes[std::stoi(file.substr(5))] = entry.path().string();
    }
    std::vector<std::pair<std::string, std::string>> found;
    for (const auto &[number, path] : nodes) {
        int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        v4l2_capability cap{};
        if (ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0 && IsCaptureNode(cap)) {
            std::string card(reinterpret_cast<const char *>(cap.card),
                             strnlen(reinterpret_cast<const char *>(cap.card), sizeof(cap.card)));
            bool seen = std::any_of(found.begin(), found.end(),
                                    [&](const auto &node) { return node.first == card; });
            found.emplace_back(seen || card.empty() ? card + " (" + path + ")" : card, path);
        }
        close(fd);
    }
    return found;
}

/// The node path a device name stands for (a listed name or a listed node's path), or empty.
std::string PathOf(const PString &name)
{
    for (const auto &[listed, path] : ScanNodes())
        if (name == listed.c_str() || name == path.c_str())
            return path;
    return std::string();
}

} // namespace

std::string V4l2DriverDescription(const PString &deviceName)
{
    std::string path = PathOf(deviceName);
    if (path.empty())
        return std::string();
    int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::string();
    v4l2_capability cap{};
    bool ok = ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
    close(fd);
    if (!ok)
        return std::string();
    std::string driver(reinterpret_cast<const char *>(cap.driver),
                       strnlen(reinterpret_cast<const char *>(cap.driver), sizeof(cap.driver)));
    return driver + " " + std::to_string((cap.version >> 16) & 0xFF) + "." +
           std::to_string((cap.version >> 8) & 0xFF) + "." + std::to_string(cap.version & 0xFF);
}

struct V4l2InputDevice::Impl {
    struct Buffer {
        void *start = MAP_FAILED;
        size_t length = 0;
    };

    int fd = -1;
    /// fd >= 0, readable without the I/O lock that a blocked reader holds.
    std::atomic<bool> open{false};
    /// Readable when a stop wants a blocked reader out; guarded by wakeMutex, not ioMutex,
    /// so that Stop can reach a reader that holds ioMutex.
    int wakeFd = -1;
    std::mutex wakeMutex;
    /// Held by the frame reader and by everything that changes the stream.
    std::mutex ioMutex;
    std::atomic<bool> stopRequested{false};
    bool streaming = false;
    std::vector<Buffer> buffers;

    unsigned captureWidth = 0, captureHeight = 0, bytesPerLine = 0;
    size_t imageBytes = 0;

    SwsContext *scaler = nullptr;
    unsigned scalerKey[4] = {};

    Clock::time_point nextDue;

    ~Impl()
    {
        if (scaler != nullptr)
            Scaler()->freeContext(scaler);
    }

    bool Negotiate(unsigned width, unsigned height)
    {
        v4l2_format fmt{};
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        fmt.fmt.pix.width = width;
        fmt.fmt.pix.height = height;
        fmt.fmt.pix.pixelformat = V4L2_PIX_FMT_YUV420;
        fmt.fmt.pix.field = V4L2_FIELD_ANY;
        if (Xioctl(fd, VIDIOC_S_FMT, &fmt) < 0) {
            PTRACE(2, "V4L2\tcannot set a YUV420 format: " << strerror(errno));
            return false;
        }
        const v4l2_pix_format &pix = fmt.fmt.pix;
        if (pix.pixelformat != V4L2_PIX_FMT_YUV420 || !ValidFrameSize(pix.width, pix.height)) {
            PTRACE(2, "V4L2\tno YUV420 format at a usable size");
            return false;
        }
        captureWidth = pix.width;
        captureHeight = pix.height;
        bytesPerLine = pix.bytesperline >= pix.width ? pix.bytesperline : pix.width;
        imageBytes = size_t(bytesPerLine) * captureHeight +
                     2 * size_t(bytesPerLine / 2) * (captureHeight / 2);
        PTRACE(4, "V4L2\tcapturing " << captureWidth << "x" << captureHeight << " for "
                                      << width << "x" << height);
        return true;
    }

    void ApplyFrameRate(unsigned rate)
    {
        v4l2_streamparm parm{};
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (Xioctl(fd, VIDIOC_G_PARM, &parm) < 0 ||
            !(parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME))
            return; // paced by dropping frames instead
        parm.parm.capture.timeperframe.numerator = 1;
        parm.parm.capture.timeperframe.denominator = rate;
        Xioctl(fd, VIDIOC_S_PARM, &parm);
    }

    bool StartStreaming()
    {
        v4l2_requestbuffers req{};
        req.count = kBufferCount;
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        if (Xioctl(fd, VIDIOC_REQBUFS, &req) < 0 || req.count < 2) {
            PTRACE(2, "V4L2\tno capture buffers: " << strerror(errno));
            return false;
        }
        buffers.resize(req.count);
        for (unsigned i = 0; i < req.count; ++i) {
            v4l2_buffer buf{};
            buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buf.memory = V4L2_MEMORY_MMAP;
            buf.index = i;
            if (Xioctl(fd, VIDIOC_QUERYBUF, &buf) < 0)
                return FailStreaming("query buffer");
            buffers[i].length = buf.length;
            buffers[i].start =
                v4l2_mmap(nullptr, buf.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, buf.m.offset);
            if (buffers[i].start == MAP_FAILED)
                return FailStreaming("map buffer");
            if (Xioctl(fd, VIDIOC_QBUF, &buf) < 0)
                return FailStreaming("queue buffer");
        }
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (Xioctl(fd, VIDIOC_STREAMON, &type) < 0)
            return FailStreaming("start streaming");
        streaming = true;
        nextDue = Clock::now();
        return true;
    }

    bool FailStreaming(const char *step)
    {
        PTRACE(2, "V4L2\tcannot " << step << ": " << strerror(errno));
        ReleaseBuffers();
        return false;
    }

    void StopStreaming()
    {
        if (streaming) {
            int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            Xioctl(fd, VIDIOC_STREAMOFF, &type);
            streaming = false;
        }
        ReleaseBuffers();
    }

    void ReleaseBuffers()
    {
        for (Buffer &b : buffers)
            if (b.start != MAP_FAILED)
                v4l2_munmap(b.start, b.length);
        if (!buffers.empty()) {
            v4l2_requestbuffers req{};
            req.count = 0;
            req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            req.memory = V4L2_MEMORY_MMAP;
            Xioctl(fd, VIDIOC_REQBUFS, &req);
        }
        buffers.clear();
    }

    void DrainWake()
    {
        uint64_t count;
        while (read(wakeFd, &count, sizeof(count)) > 0) {
        }
    }

    /// Copies (or crops and scales) one captured YUV420 image into a frame of width x height.
    bool Deliver(const BYTE *image, size_t bytesUsed, BYTE *out, unsigned width, unsigned height)
    {
        if (bytesUsed < imageBytes)
            return false;
        if (captureWidth == width && captureHeight == height && bytesPerLine == width &&
            width % 2 == 0 && height % 2 == 0) {
            std::memcpy(out, image, Yuv420Bytes(width, height));
            return true;
        }
        // Centre crop to the frame's aspect, on even positions so the chroma stays aligned.
        unsigned cropWidth = captureWidth, cropHeight = captureHeight;
        if (uint64_t(captureWidth) * height > uint64_t(width) * captureHeight)
            cropWidth = unsigned(uint64_t(captureHeight) * width / height) & ~1u;
        else
            cropHeight = unsigned(uint64_t(captureWidth) * height / width) & ~1u;
        cropWidth = std::max(cropWidth, 2u);
        cropHeight = std::max(cropHeight, 2u);
        unsigned cropX = ((captureWidth - cropWidth) / 2) & ~1u;
        unsigned cropY = ((captureHeight - cropHeight) / 2) & ~1u;

        unsigned key[4] = {cropWidth, cropHeight, width, height};
        const Scaling *scaling = Scaler();
        if (scaling == nullptr)
            return false;
        if (scaler == nullptr || !std::equal(key, key + 4, scalerKey)) {
            scaling->freeContext(scaler);
            scaler = scaling->getContext(int(cropWidth), int(cropHeight), AV_PIX_FMT_YUV420P,
                                    int(width), int(height), AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                                    nullptr, nullptr, nullptr);
            if (scaler == nullptr)
                return false;
            std::copy(key, key + 4, scalerKey);
        }
        const unsigned chromaStride = bytesPerLine / 2;
        const BYTE *uPlane = image + size_t(bytesPerLine) * captureHeight;
        const BYTE *vPlane = uPlane + size_t(chromaStride) * (captureHeight / 2);
        const uint8_t *src[3] = {image + size_t(cropY) * bytesPerLine + cropX,
                                 uPlane + size_t(cropY / 2) * chromaStride + cropX / 2,
                                 vPlane + size_t(cropY / 2) * chromaStride + cropX / 2};
        const int srcStride[3] = {int(bytesPerLine), int(chromaStride), int(chromaStride)};
        const unsigned outChroma = ChromaSide(width);
        uint8_t *dst[3] = {out, out + size_t(width) * height,
                           out + size_t(width) * height + size_t(outChroma) * ChromaSide(height)};
        const int dstStride[3] = {int(width), int(outChroma), int(outChroma)};
        scaling->scale(scaler, src, srcStride, 0, int(cropHeight), dst, dstStride);
        return true;
    }
};

PStringList V4l2InputDevice::ListDevices()
{
    PStringList names;
    for (const auto &node : ScanNodes())
        names.AppendString(node.first.c_str());
    return names;
}

bool V4l2InputDevice::IsDeviceName(const PString &name)
{
    return !name.IsEmpty() && !PathOf(name).empty();
}

V4l2InputDevice::V4l2InputDevice() : impl_(std::make_unique<Impl>())
{
}

V4l2InputDevice::~V4l2InputDevice()
{
    Close();
}

BOOL V4l2InputDevice::Open(const PString &deviceName, BOOL startImmediate)
{
    Close();
    std::string path = PathOf(deviceName);
    if (path.empty()) {
        PTRACE(2, "V4L2\tno capture device \"" << deviceName << "\"");
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> lock(impl_->ioMutex);
        int fd = v4l2_open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            PTRACE(2, "V4L2\tcannot open " << path << ": " << strerror(errno));
            return FALSE;
        }
        v4l2_capability cap{};
        if (Xioctl(fd, VIDIOC_QUERYCAP, &cap) < 0 || !IsCaptureNode(cap)) {
            PTRACE(2, "V4L2\t" << path << " is not a streaming capture device");
            v4l2_close(fd);
            return FALSE;
        }
        int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd < 0) {
            v4l2_close(fd);
            return FALSE;
        }
        impl_->fd = fd;
        if (!impl_->Negotiate(frameWidth_, frameHeight_)) {
            v4l2_close(fd);
            close(wakeFd);
            impl_->fd = -1;
            return FALSE;
        }
        std::lock_guard<std::mutex> wakeLock(impl_->wakeMutex);
        impl_->wakeFd = wakeFd;
        impl_->open = true;
        impl_->ApplyFrameRate(frameRate_);
        deviceName_ = deviceName;
    }
    return startImmediate ? Start() : TRUE;
}

BOOL V4l2InputDevice::IsOpen()
{
    return impl_->open;
}

BOOL V4l2InputDevice::Close()
{
    Stop();
    std::lock_guard<std::mutex> lock(impl_->ioMutex);
    if (impl_->fd < 0)
        return FALSE;
    v4l2_close(impl_->fd);
    impl_->fd = -1;
    impl_->open = false;
    std::lock_guard<std::mutex> wakeLock(impl_->wakeMutex);
    close(impl_->wakeFd);
    impl_->wakeFd = -1;
    return TRUE;
}

BOOL V4l2InputDevice::Start()
{
    std::lock_guard<std::mutex> lock(impl_->ioMutex);
    if (impl_->fd < 0)
        return FALSE;
    impl_->stopRequested = false;
    impl_->DrainWake();
    return impl_->streaming || impl_->StartStreaming();
}

BOOL V4l2InputDevice::Stop()
{
    // Wake a reader blocked in GetFrameData first; it holds the I/O lock.
    impl_->stopRequested = true;
    {
        std::lock_guard<std::mutex> lock(impl_->wakeMutex);
        if (impl_->wakeFd >= 0) {
            uint64_t one = 1;
            (void)!write(impl_->wakeFd, &one, sizeof(one));
        }
    }
    std::lock_guard<std::mutex> lock(impl_->ioMutex);
    impl_->StopStreaming();
    return TRUE;
}

PStringList V4l2InputDevice::GetDeviceNames() const
{
    return ListDevices();
}

BOOL V4l2InputDevice::SetVideoFormat(VideoFormat videoFormat)
{
    if (!PVideoInputDevice::SetVideoFormat(videoFormat))
        return FALSE;
    std::lock_guard<std::mutex> lock(impl_->ioMutex);
    if (impl_->fd < 0 || videoFormat == Auto)
        return TRUE;
    static const v4l2_std_id standards[] = {V4L2_STD_PAL, V4L2_STD_NTSC, V4L2_STD_SECAM};
    v4l2_std_id id = standards[videoFormat];
    if (Xioctl(impl_->fd, VIDIOC_S_STD, &id) == 0)
        return TRUE;
    // Cameras have no analogue standard to set.
    return errno == ENOTTY || errno == ENODATA;
}

int V4l2InputDevice::GetNumChannels()
{
    std::lock_guard<std::mutex> lock(impl_->ioMutex);
    if (impl_->fd < 0)
        return 1;
    int count = 0;
    for (;; ++count) {
        v4l2_input input{};
        input.index = unsigned(count);
        if (Xioctl(impl_->fd, VIDIOC_ENUMINPUT, &input) < 0)
            break;
    }
    return count > 0 ? count : 1;
}

BOOL V4l2InputDevice::SetChannel(int channelNumber)
{
    if (channelNumber < 0 || channelNumber >= GetNumChannels())
        return FALSE;
    std::lock_guard<std::mutex> lock(impl_->ioMutex);
    if (impl_->fd >= 0) {
        int current = -1;
        if (Xioctl(impl_->fd, VIDIOC_G_INPUT, &current) < 0 || current != channelNumber) {
            int input = channelNumber;
            if (Xioctl(impl_->fd, VIDIOC_S_INPUT, &input) < 0 && channelNumber != 0)
                return FALSE;
        }
    }
    channelNumber_ = channelNumber;
    return TRUE;
}

BOOL V4l2InputDevice::SetColourFormat(const PString &colourFormat)
{
    return colourFormat == "YUV420P";
}

BOOL V4l2InputDevice::SetColourFormatConverter(const PString &colourFormat)
{
    return SetColourFormat(colourFormat);
}

BOOL V4l2InputDevice::SetFrameRate(unsigned rate)
{
    if (!PVideoInputDevice::SetFrameRate(rate))
        return FALSE;
    std::lock_guard<std::mutex> lock(impl_->ioMutex);
    if (impl_->fd >= 0 && !impl_->streaming)
        impl_->ApplyFrameRate(rate);
    return TRUE;
}

BOOL V4l2InputDevice::SetFrameSize(unsigned width, unsigned height)
{
    if (!ValidFrameSize(width, height))
        return FALSE;
    std::lock_guard<std::mutex> lock(impl_->ioMutex);
    if (impl_->fd >= 0 && (width != frameWidth_ || height != frameHeight_)) {
        bool wasStreaming = impl_->streaming;
        impl_->StopStreaming();
        if (!impl_->Negotiate(width, height)) {
            impl_->Negotiate(frameWidth_, frameHeight_);
            if (wasStreaming)
                impl_->StartStreaming();
            return FALSE;
        }
        if (wasStreaming && !impl_->StartStreaming())
            return FALSE;
    }
    frameWidth_ = width;
    frameHeight_ = height;
    return TRUE;
}

BOOL V4l2InputDevice::GetFrameData(BYTE *buffer, PINDEX *bytesReturned)
{
    if (buffer == nullptr)
        return FALSE;
    std::lock_guard<std::mutex> lock(impl_->ioMutex);
    Impl &d = *impl_;
    const auto period = std::chrono::microseconds(1000000 / frameRate_);
    while (d.streaming && !d.stopRequested) {
        pollfd fds[2] = {{d.fd, POLLIN, 0}, {d.wakeFd, POLLIN, 0}};
        int ready = pwlib::PollWait(fds, 2, pwlib::Deadline::After(kFrameTimeoutMs));
        if (ready == 0) {
            PTRACE(2, "V4L2\tno frame from the camera for " << kFrameTimeoutMs << " ms");
            return FALSE;
        }
        if (ready < 0 || (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)))
            return FALSE;
        if (fds[1].revents & POLLIN) {
            d.DrainWake();
            continue; // the loop condition sees the stop
        }
        v4l2_buffer buf{};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        if (Xioctl(d.fd, VIDIOC_DQBUF, &buf) < 0) {
            if (errno == EAGAIN)
                continue;
            PTRACE(2, "V4L2\tcannot take a frame: " << strerror(errno));
            return FALSE;
        }
        // Deliver at most one frame per period; a little early is on time.
        const Clock::time_point now = Clock::now();
        bool due = now + std::chrono::milliseconds(5) >= d.nextDue;
        bool ok = true;
        if (due && buf.index < d.buffers.size()) {
            ok = d.Deliver(static_cast<const BYTE *>(d.buffers[buf.index].start), buf.bytesused,
                           buffer, frameWidth_, frameHeight_);
            d.nextDue = d.nextDue + period < now ? now + period : d.nextDue + period;
        }
        if (Xioctl(d.fd, VIDIOC_QBUF, &buf) < 0) {
            PTRACE(2, "V4L2\tcannot requeue a buffer: " << strerror(errno));
            return FALSE;
        }
        if (due && ok) {
            if (bytesReturned != nullptr)
                *bytesReturned = static_cast<PINDEX>(Yuv420Bytes(frameWidth_, frameHeight_));
            return TRUE;
        }
        if (!ok)
            return FALSE;
    }
    return FALSE;
}

} // namespace pwlib::video
