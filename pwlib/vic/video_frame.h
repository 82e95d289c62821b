// VideoFrame: one YUV 4:2:0 picture buffer handed to the video encoder.
#pragma once

#include <cstdint>

/**
 * A picture of width x height samples held as one buffer: the Y plane, then
 * U, then V (each row after row, width*height*3/2 bytes in all).
 */
class VideoFrame {
public:
    /** Allocates a zeroed buffer for a width x height picture. */
    VideoFrame(int width, int height);
    ~VideoFrame();
    VideoFrame(const VideoFrame &) = delete;
    VideoFrame &operator=(const VideoFrame &) = delete;

    /** Reallocates the buffer for a new size; does nothing when the size is unchanged. */
    void SetSize(int width, int height);

    uint8_t *frameptr = nullptr; ///< Y, then U, then V
    uint8_t *crvec = nullptr;    ///< change vector; never set here
    uint32_t ts = 0;             ///< timestamp word, copied into TR
    int width = 0;
    int height = 0;
};
