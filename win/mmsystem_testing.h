// Test hooks of the multimedia layer: stand-in mixers and wave-input devices.
#pragma once

#include <win/mixer_backend.h>

#include <string>
#include <vector>

namespace win::testing {

/// Replaces the mixer back-end (null: ALSA again). Open mixers keep the old one.
void SetMixerBackend(std::unique_ptr<win::mm::MixerBackend> backend);

/// Replaces the list of recording devices that wave input offers (null: the sound channel's
/// own list). The names are opened as PSoundChannel opens them.
void SetWaveInDevices(const std::vector<std::string> *deviceNames);

} // namespace win::testing
