// BT.601 colour conversion between RGB and YUV420P frames.
#include <pwlib/video/internal/frame.h>

namespace pwlib::video
{

namespace
{

BYTE Clamp(int value)
{
    return static_cast<BYTE>(value < 0 ? 0 : value > 255 ? 255 : value);
}

} // namespace

Yuv YuvFromRgb(int r, int g, int b)
{
    return {Clamp(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16),
            Clamp(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128),
            Clamp(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128)};
}

void Yuv420ToBgr24(const BYTE *src, BYTE *dst, unsigned width, unsigned height)
{
    const unsigned chromaWidth = ChromaSide(width);
    const BYTE *yPlane = src;
    const BYTE *uPlane = src + size_t(width) * height;
    const BYTE *vPlane = uPlane + size_t(chromaWidth) * ChromaSide(height);
    for (unsigned row = 0; row < height; ++row) {
        const BYTE *yRow = yPlane + size_t(row) * width;
        const BYTE *uRow = uPlane + size_t(row / 2) * chromaWidth;
        const BYTE *vRow = vPlane + size_t(row / 2) * chromaWidth;
        BYTE *out = dst + size_t(row) * width * 3;
        for (unsigned col = 0; col < width; ++col) {
            int c = 298 * (yRow[col] - 16) + 128;
            int d = uRow[col / 2] - 128;
            int e = vRow[col / 2] - 128;
            out[0] = Clamp((c + 516 * d) >> 8);
            out[1] = Clamp((c - 100 * d - 208 * e) >> 8);
            out[2] = Clamp((c + 409 * e) >> 8);
            out += 3;
        }
    }
}

} // namespace pwlib::video
