// The test pictures of the fake video source, painted into YUV420P frames.
#pragma once

#include <pwlib/ptypes.h>

namespace pwlib::video
{

struct TestPattern {
    const char *name;
    /// Paints picture number frameNumber of the pattern into a YUV420P frame.
    void (*paint)(BYTE *frame, unsigned width, unsigned height, unsigned frameNumber);
};

/// The patterns by channel number; 0 is the moving line.
extern const TestPattern kTestPatterns[];
extern const int kNumTestPatterns;

/// Rows the moving line advances per picture, and its thickness.
constexpr unsigned kMovingLineStep = 2;
constexpr unsigned kMovingLineThickness = 2;

} // namespace pwlib::video
