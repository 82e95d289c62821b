// What the WINMM mixer functions work on: a description of each mixer's lines and controls,
// and a back-end that reads and writes control values (ALSA, or a stand-in in tests).
#pragma once

#include <win/windef.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace win::mm {

struct MixerControlDesc {
    DWORD id = 0;
    DWORD type = 0; // MIXERCONTROL_CONTROLTYPE_*
    DWORD items = 0;
    std::string name;
};

struct MixerLineDesc {
    DWORD componentType = 0; // MIXERLINE_COMPONENTTYPE_*
    DWORD channels = 1;
    std::string name;
    std::vector<MixerControlDesc> controls;
};

struct MixerDestinationDesc : MixerLineDesc {
    std::vector<MixerLineDesc> sources;
};

struct MixerDesc {
    std::string name;
    std::vector<MixerDestinationDesc> destinations;
};

/// The mixers are named as the back-end knows them (for ALSA: "default" or "hw:C").
class MixerBackend
{
  public:
    virtual ~MixerBackend() = default;
    /// The lines and controls of the mixer; false when there is no such mixer.
    virtual bool Describe(const std::string &mixer, MixerDesc &out) = 0;
    /// Values 0-65535, one per channel asked for.
    virtual bool Get(const std::string &mixer, DWORD control, std::vector<DWORD> &values) = 0;
    virtual bool Set(const std::string &mixer, DWORD control, const std::vector<DWORD> &values) = 0;
    /// Calls onChange (on any thread) with the control id of every change of the mixer, until
    /// the returned token is destroyed.
    virtual std::shared_ptr<void> Watch(const std::string &mixer,
                                        std::function<void(DWORD control)> onChange) = 0;
};

/// The back-end over ALSA's simple mixer API.
std::unique_ptr<MixerBackend> MakeAlsaMixerBackend();

/// The ALSA mixer of a sound device name: "default" for the default device, "hw:C" for a
/// device of card C; empty for a device without a mixer ("Null", a file, another PCM).
std::string MixerOfDevice(const std::string &deviceName);

/// The mixer of each mixer id: id n is the n-th playback device that the sound channel lists
/// (PSoundChannel::GetDeviceNames), so a mixer id is the index of a playback device name.
/// Empty for a device without a mixer.
std::vector<std::string> MixersById();

} // namespace win::mm
