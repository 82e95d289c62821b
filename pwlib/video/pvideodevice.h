// PVideoDevice: what capture and display devices share: name, format, channel, size, rate.
#pragma once

#include <pwlib/pstringarray.h>
#include <pwlib/video/pcolourconverter.h>

/// The common interface of the video input and output devices.
class PVideoDevice : public PObject
{
    PCLASSINFO(PVideoDevice, PObject)
  public:
    enum VideoFormat { PAL = 0, NTSC = 1, SECAM = 2, Auto = 3, NumVideoFormats };

    PVideoDevice() = default;
    /// Deletes the colour converter.
    ~PVideoDevice() override;
    PVideoDevice(const PVideoDevice &) = delete;
    PVideoDevice &operator=(const PVideoDevice &) = delete;

    /// Opens the named device, starting it at once when startImmediate is TRUE.
    virtual BOOL Open(const PString &deviceName, BOOL startImmediate = TRUE) = 0;
    virtual BOOL IsOpen() = 0;
    /// Closes the device; TRUE when it was open.
    virtual BOOL Close();
    /// Starts and stops capture or display; the base does nothing and gives TRUE.
    virtual BOOL Start();
    virtual BOOL Stop();

    /// The names this device's driver can open.
    virtual PStringList GetDeviceNames() const = 0;
    const PString &GetDeviceName() const { return deviceName_; }

    /// Sets the analogue video standard; FALSE for a value outside the enumeration.
    virtual BOOL SetVideoFormat(VideoFormat videoFormat);
    VideoFormat GetVideoFormat() const { return videoFormat_; }

    /// Number of inputs (channels) the device offers; the base has one.
    virtual int GetNumChannels();
    /// Selects input channelNumber; FALSE when the device has no such channel.
    virtual BOOL SetChannel(int channelNumber);
    int GetChannel() const { return channelNumber_; }

    /// The device's own colour format; the base accepts any name.
    virtual BOOL SetColourFormat(const PString &colourFormat);
    const PString &GetColourFormat() const { return colourFormat_; }
    /// Sets the colour format the caller deals in (input devices deliver frames in it,
    /// output devices accept them in it), converting to or from the device's own.
    virtual BOOL SetColourFormatConverter(const PString &colourFormat);

    /// Frames per second; FALSE for 0 or an unreasonable rate.
    virtual BOOL SetFrameRate(unsigned rate);
    unsigned GetFrameRate() const { return frameRate_; }

    /// Sets the frame size; FALSE (size kept) for 0 or a side above 4096.
    virtual BOOL SetFrameSize(unsigned width, unsigned height);
    BOOL GetFrameSize(unsigned &width, unsigned &height) const;
    unsigned GetFrameWidth() const { return frameWidth_; }
    unsigned GetFrameHeight() const { return frameHeight_; }

    /// Bytes of the largest frame passed through the device at the present settings.
    virtual PINDEX GetMaxFrameBytes() = 0;

  protected:
    PString deviceName_;
    VideoFormat videoFormat_ = Auto;
    int channelNumber_ = 0;
    PString colourFormat_ = "YUV420P";
    unsigned frameRate_ = 10;
    unsigned frameWidth_ = 176;
    unsigned frameHeight_ = 144;
    /// Converter between the caller's and the device's colour format, or nullptr.
    PColourConverter *converter_ = nullptr;
};
