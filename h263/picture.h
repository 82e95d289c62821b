// Picture: a YUV 4:2:0 picture held as three planes without gaps between rows.
#pragma once

#include <cstdint>

namespace h263 {

struct Picture {
    int width = 0;
    int height = 0;
    uint8_t *y = nullptr;   ///< width x height
    uint8_t *u = nullptr;   ///< width/2 x height/2
    uint8_t *v = nullptr;   ///< width/2 x height/2

    /** Views one buffer of width*height*3/2 bytes (Y, then U, then V) as a picture. */
    static Picture over(uint8_t *buffer, int width, int height)
    {
        Picture p;
        p.width = width;
        p.height = height;
        p.y = buffer;
        p.u = buffer + width * height;
        p.v = p.u + width * height / 4;
        return p;
    }
};

} // namespace h263
