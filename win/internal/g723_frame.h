// G.723.1 framing: PCM block size and the coded length of each frame kind.
#pragma once

#include <win/windef.h>

namespace win::g723
{

constexpr unsigned kSamplesPerFrame = 240;
constexpr unsigned kPcmBytes = kSamplesPerFrame * 2;
constexpr unsigned kMaxFrameBytes = 24;

/// Coded length of the frame whose first byte is given, by its rate and frame-type bits:
/// 6.3 kbit/s 24, 5.3 kbit/s 20, silence insertion descriptor 4, untransmitted 1.
constexpr unsigned FrameLength(BYTE first)
{
    constexpr unsigned kLength[4] = {24, 20, 4, 1};
    return kLength[first & 3];
}

} // namespace win::g723
