// The PCM format of a sound channel and the conversions of samples to and from float.
#pragma once

#include <pwlib/ptypes.h>

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pwlib::sound
{

enum class Direction { Recorder = 0, Player = 1 };

/// Interleaved linear PCM: 8-bit unsigned or 16-bit signed in host byte order.
struct PcmFormat {
    unsigned channels = 1;
    unsigned rate = 8000;
    unsigned bits = 16;

    unsigned FrameBytes() const { return channels * bits / 8; }
    size_t BytesPerSecond() const { return size_t(FrameBytes()) * rate; }
    bool Valid() const
    {
        return channels >= 1 && channels <= 8 && rate >= 1000 && rate <= 192000 &&
               (bits == 8 || bits == 16);
    }
    /// How long frames take to play.
    std::chrono::nanoseconds Duration(size_t frames) const
    {
        return std::chrono::nanoseconds(static_cast<long long>(frames * 1000000000ull / rate));
    }
};

/// Stores a float in [-1, 1) as one sample: rounded and clamped; exact for values read from
/// a file of the same width.
inline void StoreSample(float value, unsigned bits, BYTE *out)
{
    if (bits == 8) {
        long v = std::lrint(value * 128.0f) + 128;
        out[0] = static_cast<BYTE>(v < 0 ? 0 : v > 255 ? 255 : v);
    } else {
        long v = std::lrint(value * 32768.0f);
        int16_t s = static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
        std::memcpy(out, &s, sizeof(s));
    }
}

/// The byte that fills silence.
inline BYTE SilenceByte(unsigned bits)
{
    return bits == 8 ? 0x80 : 0x00;
}

} // namespace pwlib::sound
