// Synthesised telephone tones written as wave files.
#pragma once

#include <string>

namespace skingen {

// Writes dtmf/d0.wav .. d9.wav, dtmf/star.wav, dtmf/hash.wav, ringin.wav, RingOut.wav and
// Busy.wav (8000 Hz, 16-bit, mono) into dir.
bool WriteSounds(const std::string &dir);

} // namespace skingen
