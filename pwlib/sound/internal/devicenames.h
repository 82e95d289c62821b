// The names of the sound devices: the lists shown to the user and what each name opens.
#pragma once

#include <pwlib/sound/internal/sounddevice.h>

#include <string>
#include <vector>

namespace pwlib::sound
{

/// The name of the system's default device ("Default", ALSA's "default" PCM).
extern const char kDefaultDeviceName[];
/// The name of the null device ("Null").
extern const char kNullDeviceName[];

/// The names offered for a direction, in a fixed order: "Default"; one
/// "<card>: <device> (hw:C,D)" for every PCM device of every card, by card and device
/// number; "Null".
std::vector<std::string> DeviceNames(Direction direction);

/// What a device name opens.
struct DeviceTarget {
    enum Kind { Alsa, Null, File } kind = Alsa;
    /// The ALSA PCM name, or the file path.
    std::string path;
};

/// Resolves a name: "Null" (or "null"); "file:<path>"; "Default" and the card names to
/// their ALSA PCMs ("default", "plughw:C,D"); any other name is taken as an ALSA PCM name.
/// A name that would open ALSA is replaced by the device the environment names for the
/// direction (KESTRELIN_SOUND_PLAYER / KESTRELIN_SOUND_RECORDER, else KESTRELIN_SOUND),
/// when set, so that whole programs run headless.
DeviceTarget ResolveDeviceName(const std::string &name, Direction direction);
/// Resolves a name as ResolveDeviceName does, without the environment override.
DeviceTarget ResolveNameOnly(const std::string &name);

/// Opens the device of a resolved name; nullptr with errno set when it cannot. A file
/// recorder plays the wave file in a loop as its capture; a file player writes a new wave
/// file, or, for a path naming a directory (or ending in '/'), a new file
/// "player-<process>-<n>.wav" in it at every open.
std::unique_ptr<SoundDevice> OpenDevice(const DeviceTarget &target, Direction direction,
                                        const PcmFormat &format, const BufferConfig &buffers);

} // namespace pwlib::sound
