// PVideoDevice: the settings every video device keeps.
#include <pwlib/video/internal/frame.h>
#include <pwlib/video/pvideodevice.h>

namespace
{

/// Frame rates beyond this are taken for a caller's mistake.
constexpr unsigned kMaxFrameRate = 100;

} // namespace

PVideoDevice::~PVideoDevice()
{
    delete converter_;
}

BOOL PVideoDevice::Close()
{
    return TRUE;
}

BOOL PVideoDevice::Start()
{
    return TRUE;
}

BOOL PVideoDevice::Stop()
{
    return TRUE;
}

BOOL PVideoDevice::SetVideoFormat(VideoFormat videoFormat)
{
    if (videoFormat < PAL || videoFormat >= NumVideoFormats)
        return FALSE;
    videoFormat_ = videoFormat;
    return TRUE;
}

int PVideoDevice::GetNumChannels()
{
    return 1;
}

BOOL PVideoDevice::SetChannel(int channelNumber)
{
    if (channelNumber < 0 || channelNumber >= GetNumChannels())
        return FALSE;
    channelNumber_ = channelNumber;
    return TRUE;
}

BOOL PVideoDevice::SetColourFormat(const PString &colourFormat)
{
    colourFormat_ = colourFormat;
    return TRUE;
}

BOOL PVideoDevice::SetColourFormatConverter(const PString &colourFormat)
{
    return SetColourFormat(colourFormat);
}

BOOL PVideoDevice::SetFrameRate(unsigned rate)
{
    if (rate == 0 || rate > kMaxFrameRate)
        return FALSE;
    frameRate_ = rate;
    return TRUE;
}

BOOL PVideoDevice::SetFrameSize(unsigned width, unsigned height)
{
    if (!pwlib::video::ValidFrameSize(width, height))
        return FALSE;
    if (converter_ != nullptr && !converter_->SetFrameSize(width, height))
        return FALSE;
    frameWidth_ = width;
    frameHeight_ = height;
    return TRUE;
}

BOOL PVideoDevice::GetFrameSize(unsigned &width, unsigned &height) const
{
    width = frameWidth_;
    height = frameHeight_;
    return TRUE;
}
