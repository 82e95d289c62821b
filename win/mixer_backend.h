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

class MixerBackend
{
  public:
    virtual ~MixerBackend() = default;
    virtual UINT Count() = 0;
    /// The lines and controls of mixer id; false when there is no such mixer.
    virtual bool Describe(UINT id, MixerDesc &out) = 0;
    /// Values 0-65535, one per channel asked for.
    virtual bool Get(UINT id, DWORD control, std::vector<DWORD> &values) = 0;
    virtual bool Set(UINT id, DWORD control, const std::vector<DWORD> &values) = 0;
    /// Calls onChange (on any thread) with the control id of every change of mixer id, until
    /// the returned token is destroyed.
    virtual std::shared_ptr<void> Watch(UINT id, std::function<void(DWORD control)> onChange) = 0;
};

/// The back-end over ALSA's simple mixer: mixer id n is the n-th sound card.
std::unique_ptr<MixerBackend> MakeAlsaMixerBackend();

} // namespace win::mm
