// Video logical channels: devices chosen from the video options and attached to the codec.
#include <core/video_channel.h>

#include <core/settings.h>
#include <core/video_device.h>
#include <core/video_window.h>

#include <h323/callsig/connection.h>
#include <h323/codecs/codec.h>
#include <h323/endpoint/endpoint.h>

#include <pwlib/video/pvideochannel.h>
#include <pwlib/video/pvideoinputdevice.h>

#include <win/vfw.h>

#include <cstdlib>
#include <cstring>

namespace
{

// Video options (CSettings::m_nVideo) by index.
constexpr int kShowLocal = 2;
constexpr int kLocalVerticalFlip = 5;
constexpr int kLocalMirror = 6;
constexpr int kRemoteVerticalFlip = 7;
constexpr int kRemoteMirror = 8;
constexpr int kCaptureDriver = 9;
constexpr int kFrameRate = 12;
constexpr int kMaxBitRate = 13;
constexpr int kQuality = 14;

constexpr const char *kPatternPrefix = "Frame test N";

/// The capture device video option 9 names: the pattern, a capture driver, or the first
/// video input driver's name when the driver gives none.
PString CaptureDeviceName(int driver)
{
    if (driver < 1)
        return kMovingLinePattern;
    char name[100] = {};
    char version[200] = {};
    if (capGetDriverDescriptionA(WORD(driver - 1), name, sizeof name, version, sizeof version) &&
        name[0] != '\0')
        return name;
    PStringList drivers = PVideoInputDevice::GetDriverNames();
    return drivers.GetSize() > 0 ? drivers[0] : PString();
}

/// The named capture device set up for QCIF YUV420P, or null when it cannot be.
PVideoInputDevice *OpenCaptureDevice(const PString &name, unsigned frameRate)
{
    if (name.IsEmpty())
        return nullptr;
    PVideoInputDevice *device = PVideoInputDevice::CreateDeviceByName(name);
    if (device == nullptr)
        return nullptr;
    if (device->Open(name, FALSE) && device->SetVideoFormat(PVideoDevice::Auto) &&
        device->SetChannel(0) && device->SetColourFormatConverter("YUV420P") &&
        device->SetFrameSize(kQcifWidth, kQcifHeight) && device->SetFrameRate(frameRate))
        return device;
    delete device;
    return nullptr;
}

/// The test pattern device; the pattern is the number after "Frame test N." in the name.
PVideoInputDevice *TestPattern(const PString &name, unsigned frameRate)
{
    PVideoInputDevice *device = PVideoInputDevice::CreateDevice("FakeVideo");
    if (device == nullptr)
        return nullptr;
    int pattern = 0;
    const char *text = name;
    size_t prefix = std::strlen(kPatternPrefix);
    if (std::strncmp(text, kPatternPrefix, prefix) == 0 && text[prefix] == '.')
        pattern = std::atoi(text + prefix + 1);
    device->SetColourFormat("YUV420P");
    device->SetVideoFormat(PVideoDevice::PAL);
    device->SetFrameSize(kQcifWidth, kQcifHeight);
    device->SetFrameRate(frameRate);
    device->SetChannel(pattern);
    return device;
}

CVideoDevice *Display(CVideoWindow *chatWindow, const PString &name, int verticalFlip, int mirror,
                      int local)
{
    auto *display = new CVideoDevice(chatWindow, name, verticalFlip, mirror, local);
    display->SetColourFormatConverter("YUV420P");
    display->SetFrameSize(kQcifWidth, kQcifHeight);
    return display;
}

} // namespace

BOOL OpenCallVideoChannel(CVideoWindow *chatWindow, const CSettings &settings,
                          BOOL autoStartTransmit, const VideoCallParties &parties, BOOL isEncoding,
                          H323VideoCodec &codec)
{
    const auto &video = settings.m_nVideo;
    if (isEncoding && !autoStartTransmit)
        return FALSE;
    auto *channel = new PVideoChannel;

    if (!isEncoding) {
        if (chatWindow != nullptr) {
            chatWindow->m_bVideoInCall = 1;
            chatWindow->SetReceiveVideoChannel(channel);
        }
        int verticalFlip = parties.remoteApplication.Find("NetMeeting") != P_MAX_INDEX
                               ? 0
                               : video[kRemoteVerticalFlip];
        channel->AttachVideoPlayer(
            Display(chatWindow, parties.remoteName, verticalFlip, video[kRemoteMirror], 0), TRUE);
    } else {
        codec.SetTxQualityLevel(video[kQuality]);
        codec.SetBackgroundFill(2);
        if (video[kMaxBitRate] != 0) {
            codec.SetMaxBitRate(unsigned(video[kMaxBitRate]) * 1024);
            codec.SetVideoMode(codec.GetVideoMode() | H323VideoCodec::DynamicVideoQuality |
                               H323VideoCodec::AdaptivePacketDelay);
        }
        const unsigned frameRate = unsigned(video[kFrameRate]);
        PString name = CaptureDeviceName(video[kCaptureDriver]);
        PVideoInputDevice *grabber = nullptr;
        if (std::strncmp(name, kPatternPrefix, std::strlen(kPatternPrefix)) != 0)
            grabber = OpenCaptureDevice(name, frameRate);
        if (grabber == nullptr)
            grabber = TestPattern(name, frameRate);
        if (grabber != nullptr) {
            grabber->Start();
            channel->AttachVideoReader(grabber, TRUE);
        }
        if (chatWindow != nullptr)
            chatWindow->SetTransmitVideoChannel(channel);
        if (video[kShowLocal] != 0) {
            if (chatWindow != nullptr)
                chatWindow->m_bVideoInCall = 1;
            channel->AttachVideoPlayer(Display(chatWindow, parties.localName,
                                               video[kLocalVerticalFlip], video[kLocalMirror], 1),
                                       TRUE);
        }
    }

    BOOL attached = codec.AttachChannel(channel, TRUE);
    // A refused channel goes with the codec: the window must not keep it.
    if (!attached && chatWindow != nullptr)
        chatWindow->ForgetVideoChannel(channel);
    return attached;
}

BOOL OpenCallVideoChannel(CVideoWindow *chatWindow, const CSettings &settings,
                          H323Connection &connection, BOOL isEncoding, H323VideoCodec &codec)
{
    VideoCallParties parties{connection.GetRemoteApplication(), connection.GetRemotePartyName(),
                             connection.GetLocalPartyName()};
    return OpenCallVideoChannel(chatWindow, settings,
                                connection.GetEndPoint().CanAutoStartTransmitVideo(), parties,
                                isEncoding, codec);
}
