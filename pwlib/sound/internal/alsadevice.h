// The ALSA device: a PCM opened non-blocking, with waits that an abort can cut short.
#pragma once

#include <pwlib/sound/internal/sounddevice.h>

#include <string>
#include <vector>

namespace pwlib::sound
{

/// One PCM device of a sound card, as the card's control interface describes it.
struct AlsaPcm {
    int card = 0;
    int device = 0;
    std::string cardName;
    std::string pcmName;
};

/// The PCM devices of every card that can play (or record), by card and device number.
std::vector<AlsaPcm> EnumerateAlsaPcms(Direction direction);

/// Opens an ALSA PCM by its ALSA name; nullptr with errno set when it cannot.
std::unique_ptr<SoundDevice> OpenAlsaDevice(const std::string &pcmName, Direction direction,
                                            const PcmFormat &format, const BufferConfig &buffers);

} // namespace pwlib::sound
