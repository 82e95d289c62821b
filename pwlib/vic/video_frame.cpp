// VideoFrame: one YUV 4:2:0 picture buffer.
#include "pwlib/vic/video_frame.h"

#include <cstddef>
#include <cstring>

namespace {

size_t frame_bytes(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    return static_cast<size_t>(width) * static_cast<size_t>(height) * 3 / 2;
}

} // namespace

VideoFrame::VideoFrame(int w, int h)
{
    SetSize(w, h);
}

VideoFrame::~VideoFrame()
{
    delete[] frameptr;
}

void VideoFrame::SetSize(int w, int h)
{
    if (frameptr && w == width && h == height)
        return;
    delete[] frameptr;
    size_t bytes = frame_bytes(w, h);
    frameptr = new uint8_t[bytes ? bytes : 1];
    std::memset(frameptr, 0, bytes ? bytes : 1);
    width = bytes ? w : 0;
    height = bytes ? h : 0;
}
