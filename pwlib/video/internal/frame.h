// Frame geometry and pixel helpers shared by the video devices and converters.
#pragma once

#include <pwlib/ptypes.h>

#include <cstddef>

namespace pwlib::video
{

/// The largest frame side any device accepts.
constexpr unsigned kMaxFrameSide = 4096;

/// Width (and height) of the chroma planes of a YUV420P frame.
constexpr unsigned ChromaSide(unsigned side)
{
    return (side + 1) / 2;
}

/// Bytes of a YUV420P frame.
constexpr size_t Yuv420Bytes(unsigned width, unsigned height)
{
    return size_t(width) * height + 2 * size_t(ChromaSide(width)) * ChromaSide(height);
}

/// Bytes of a BGR24 frame.
constexpr size_t Bgr24Bytes(unsigned width, unsigned height)
{
    return size_t(width) * height * 3;
}

/// TRUE for a frame size the devices accept.
constexpr bool ValidFrameSize(unsigned width, unsigned height)
{
    return width > 0 && height > 0 && width <= kMaxFrameSide && height <= kMaxFrameSide;
}

/// A colour in studio-range BT.601 YCbCr.
struct Yuv {
    BYTE y, u, v;
};

/// BT.601 studio range from full-range RGB, rounded.
Yuv YuvFromRgb(int r, int g, int b);

/// Converts one YUV420P frame into BGR24 (BT.601 studio range, rounded, clamped).
void Yuv420ToBgr24(const BYTE *src, BYTE *dst, unsigned width, unsigned height);

} // namespace pwlib::video
