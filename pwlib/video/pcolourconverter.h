// PColourConverter: whole-frame conversion between the colour formats of the video devices.
#pragma once

#include <pwlib/pstring.h>

/// Converts frames of one size from a source to a destination colour format.
///
/// Formats are named as the devices name them: "YUV420P" (planar Y, then U and V at half
/// width and height, rounded up) and "BGR24" (3 bytes a pixel, blue, green, red, rows top
/// down). Supported pairs: YUV420P to BGR24, and any format to itself (a copy).
class PColourConverter : public PObject
{
    PCLASSINFO(PColourConverter, PObject)
  public:
    /// A converter for frames of width x height, or nullptr when the pair is not supported
    /// or the size is 0.
    static PColourConverter *Create(const PString &srcColourFormat,
                                    const PString &dstColourFormat, unsigned width,
                                    unsigned height);
    /// Bytes of one frame in colourFormat, 0 for an unknown format or an empty size.
    static PINDEX FrameBytes(const PString &colourFormat, unsigned width, unsigned height);

    const PString &GetSrcColourFormat() const { return srcColourFormat_; }
    const PString &GetDstColourFormat() const { return dstColourFormat_; }
    unsigned GetWidth() const { return width_; }
    unsigned GetHeight() const { return height_; }
    PINDEX GetSrcFrameBytes() const { return FrameBytes(srcColourFormat_, width_, height_); }
    PINDEX GetDstFrameBytes() const { return FrameBytes(dstColourFormat_, width_, height_); }

    /// Changes the frame size; FALSE (size kept) for an empty or oversized frame.
    BOOL SetFrameSize(unsigned width, unsigned height);

    /// Converts one whole frame of GetSrcFrameBytes() bytes into GetDstFrameBytes() bytes
    /// at dst; bytesReturned (when given) gets the bytes written.
    virtual BOOL Convert(const BYTE *src, BYTE *dst, PINDEX *bytesReturned = nullptr) = 0;

  protected:
    PColourConverter(const PString &srcColourFormat, const PString &dstColourFormat,
                     unsigned width, unsigned height);

    PString srcColourFormat_;
    PString dstColourFormat_;
    unsigned width_;
    unsigned height_;
};
