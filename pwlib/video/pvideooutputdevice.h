// PVideoOutputDevice and PVideoOutputDeviceRGB: devices that show frames, and the RGB store.
#pragma once

#include <pwlib/parray.h>
#include <pwlib/video/pvideodevice.h>

/// A device frames are written to for display.
class PVideoOutputDevice : public PVideoDevice
{
    PCLASSINFO(PVideoOutputDevice, PVideoDevice)
  public:
    /// Writes the rectangle at (x, y) of width x height from data; with endFrame set the
    /// frame is complete and EndFrame() follows.
    virtual BOOL SetFrameData(unsigned x, unsigned y, unsigned width, unsigned height,
                              const BYTE *data, BOOL endFrame = TRUE) = 0;
    /// The frame is complete: show it.
    virtual BOOL EndFrame() = 0;
};

/// An output device that keeps the frame in a store of 3 bytes a pixel (blue, green, red;
/// rows top down) for a subclass to show in EndFrame().
///
/// Its own colour format is "BGR24". SetColourFormatConverter("YUV420P") makes it accept
/// YUV420P frames, converted into the store; only whole frames can be converted.
class PVideoOutputDeviceRGB : public PVideoOutputDevice
{
    PCLASSINFO(PVideoOutputDeviceRGB, PVideoOutputDevice)
  public:
    PVideoOutputDeviceRGB();

    /// Only "BGR24", the store's format.
    BOOL SetColourFormat(const PString &colourFormat) override;
    /// "YUV420P" sets a converter into the store; "BGR24" removes it; others give FALSE.
    BOOL SetColourFormatConverter(const PString &colourFormat) override;

    /// Sets the size and allocates the frame store (zeroed).
    BOOL SetFrameSize(unsigned width, unsigned height) override;
    /// Bytes of a whole input frame: in the converter's source format when one is set.
    PINDEX GetMaxFrameBytes() override;

    /// Updates the store. FALSE when the rectangle leaves the frame, is empty, or data is
    /// null. A whole frame is converted (or copied) into the store; a partial frame is
    /// copied row by row, and with a converter set it fails with an assertion.
    BOOL SetFrameData(unsigned x, unsigned y, unsigned width, unsigned height,
                      const BYTE *data, BOOL endFrame = TRUE) override;
    /// Nothing to show in the base; TRUE.
    BOOL EndFrame() override;

  protected:
    /// The frame: frame width x height pixels of 3 bytes, blue, green, red.
    PBYTEArray frameStore_;
    PINDEX bytesPerPixel_ = 3;
};
