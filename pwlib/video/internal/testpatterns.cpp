// The test pictures: a moving line, colour bars and moving blocks.
#include <pwlib/video/internal/frame.h>
#include <pwlib/video/internal/testpatterns.h>

#include <cstring>

namespace pwlib::video
{

namespace
{

struct Planes {
    BYTE *y, *u, *v;
    unsigned chromaWidth, chromaHeight;
};

Planes Split(BYTE *frame, unsigned width, unsigned height)
{
    Planes p;
    p.chromaWidth = ChromaSide(width);
    p.chromaHeight = ChromaSide(height);
    p.y = frame;
    p.u = frame + size_t(width) * height;
    p.v = p.u + size_t(p.chromaWidth) * p.chromaHeight;
    return p;
}

void Fill(BYTE *frame, unsigned width, unsigned height, Yuv colour)
{
    Planes p = Split(frame, width, height);
    std::memset(p.y, colour.y, size_t(width) * height);
    std::memset(p.u, colour.u, size_t(p.chromaWidth) * p.chromaHeight);
    std::memset(p.v, colour.v, size_t(p.chromaWidth) * p.chromaHeight);
}

/// A white horizontal line on black, moving down and wrapping at the bottom.
void PaintMovingLine(BYTE *frame, unsigned width, unsigned height, unsigned frameNumber)
{
    Fill(frame, width, height, YuvFromRgb(0, 0, 0));
    const BYTE white = YuvFromRgb(255, 255, 255).y;
    unsigned top = unsigned((unsigned long long)frameNumber * kMovingLineStep % height);
    for (unsigned i = 0; i < kMovingLineThickness; ++i)
        std::memset(frame + size_t((top + i) % height) * width, white, width);
}

/// Eight vertical bars at 75 %: white, yellow, cyan, green, magenta, red, blue, black.
void PaintColourBars(BYTE *frame, unsigned width, unsigned height, unsigned)
{
    static const int bars[8][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191},
                                   {0, 191, 0},     {191, 0, 191}, {191, 0, 0},
                                   {0, 0, 191},     {0, 0, 0}};
    Planes p = Split(frame, width, height);
    for (unsigned col = 0; col < width; ++col) {
        const int *rgb = bars[size_t(col) * 8 / width];
        Yuv c = YuvFromRgb(rgb[0], rgb[1], rgb[2]);
        for (unsigned row = 0; row < height; ++row)
            p.y[size_t(row) * width + col] = c.y;
        if (col % 2 == 0) {
            for (unsigned row = 0; row < p.chromaHeight; ++row) {
                p.u[size_t(row) * p.chromaWidth + col / 2] = c.u;
                p.v[size_t(row) * p.chromaWidth + col / 2] = c.v;
            }
        }
    }
}

/// A grey checkerboard of 16-pixel squares sliding to the right.
void PaintMovingBlocks(BYTE *frame, unsigned width, unsigned height, unsigned frameNumber)
{
    Fill(frame, width, height, YuvFromRgb(0, 0, 0));
    const BYTE light = YuvFromRgb(200, 200, 200).y;
    const BYTE dark = YuvFromRgb(60, 60, 60).y;
    const unsigned shift = unsigned((unsigned long long)frameNumber * 2 % 32);
    for (unsigned row = 0; row < height; ++row)
        for (unsigned col = 0; col < width; ++col) {
            unsigned bx = (col + 32 - shift) / 16, by = row / 16;
            frame[size_t(row) * width + col] = (bx + by) % 2 ? light : dark;
        }
}

} // namespace

const TestPattern kTestPatterns[] = {
    {"Moving line", PaintMovingLine},
    {"Colour bars", PaintColourBars},
    {"Moving blocks", PaintMovingBlocks},
};
const int kNumTestPatterns = sizeof(kTestPatterns) / sizeof(kTestPatterns[0]);

} // namespace pwlib::video
