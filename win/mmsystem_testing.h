// Test hooks of the multimedia layer: stand-in mixers and wave-input devices.
#pragma once

#include <win/mixer_backend.h>

#include <string>
#include <vector>

namespace win::testing {

/// Replaces the mixer back-end (null: ALSA again). Open mixers keep the old one.
void SetMixerBackend(std::unique_ptr<win::mm::MixerBackend> backend);

/// Replaces the list of ALSA capture devices that wave input offers (null: the system's).
/// A test may name ALSA's "null" device, which records silence at the asked rate.
void SetWaveInDevices(const std::vector<std::string> *alsaNames);

} // namespace win::testing
