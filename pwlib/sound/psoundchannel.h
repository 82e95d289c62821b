// PSoundChannel: PCM playback and recording on a sound device, and wave file playback.
#pragma once

#include <pwlib/pchannel.h>
#include <pwlib/pstringarray.h>

#include <memory>
#include <string>

namespace pwlib::sound
{
struct ChannelState;

/// The ALSA PCM a device name opens when no environment override applies: "default" for
/// "Default", "plughw:C,D" for a card's device "<card>: <device> (hw:C,D)", the name itself
/// for any other ALSA PCM name; empty for the devices that are not ALSA ("Null", "file:...").
std::string AlsaPcmName(const PString &device);
} // namespace pwlib::sound

/// A sound device opened for playing or for recording linear PCM.
///
/// Device names (the same strings GetDeviceNames lists and Open accepts):
///   "Default"                   the system's default device (ALSA "default")
///   "<card>: <device> (hw:C,D)" PCM device D of sound card C (opened as ALSA "plughw:C,D")
///   "Null"                      a player that discards in real time, a recorder that
///                               records silence in real time ("null" works too)
///   "file:<path>"               a player writes a wave file at <path> (a new
///                               "player-<process>-<n>.wav" at each open when <path> is a
///                               directory); a recorder plays the wave file at <path> in a
///                               loop as its capture
/// Any other name is tried as an ALSA PCM name. For headless runs the environment variable
/// KESTRELIN_SOUND (per direction KESTRELIN_SOUND_PLAYER, KESTRELIN_SOUND_RECORDER) names a
/// device, for example "null", that replaces every device that would open ALSA.
///
/// Blocking calls pace in real time: a Write returns once its bytes fit into the buffers
/// (SetBuffers), a Read once its bytes have been captured (the "Null" and file recorders
/// hand the first buffer at once, as a card that has captured its first period).
/// Abort() and Close() may be called from any thread while another one blocks in Read,
/// Write, PlayFile or WaitForPlayCompletion; the blocked call returns at once.
class PSoundChannel : public PChannel
{
    PCLASSINFO(PSoundChannel, PChannel)
  public:
    enum Directions { Recorder = 0, Player = 1 };

    PSoundChannel();
    /// Opens the device as Open() does.
    PSoundChannel(const PString &device, Directions dir, unsigned numChannels = 1,
                  unsigned sampleRate = 8000, unsigned bitsPerSample = 16);
    /// Closes the channel.
    ~PSoundChannel() override;

    /// The devices for a direction, in an order that stays the same while the hardware
    /// does: "Default", the cards' devices by card and device number, "Null".
    static PStringArray GetDeviceNames(Directions dir);
    /// The name of the system's default device: "Default".
    static PString GetDefaultDevice(Directions dir);

    /// Opens a device for 1 or more channels (up to 8), 1000-192000 samples a second, 8
    /// (unsigned) or 16 (signed, host order) bits a sample. Closes the channel first.
    virtual BOOL Open(const PString &device, Directions dir, unsigned numChannels = 1,
                      unsigned sampleRate = 8000, unsigned bitsPerSample = 16);
    BOOL IsOpen() const override;
    /// Stops any playing, ends the blocked calls and releases the device.
    BOOL Close() override;

    /// Records len bytes (whole frames), blocking until they have been captured.
    BOOL Read(void *buf, PINDEX len) override;
    /// Plays len bytes (whole frames), blocking while the buffers are full.
    BOOL Write(const void *buf, PINDEX len) override;

    /// The device's buffering: count buffers of size bytes (at least 2). Takes effect at
    /// once on an open channel (the device is reopened) or at the next Open.
    virtual BOOL SetBuffers(PINDEX size, PINDEX count = 2);
    virtual BOOL GetBuffers(PINDEX &size, PINDEX &count);

    /// Plays a RIFF/WAVE file, converted to the channel's format. With wait, returns when
    /// it has been played (FALSE when aborted or closed first); without, returns at once
    /// and plays in the background (after a file still playing) until played, aborted or
    /// closed; Close and the destructor end that playing and its thread before they return.
    /// FALSE when the channel is not an open player (or is closed meanwhile) or the file is
    /// missing or not a wave file it can decode.
    virtual BOOL PlayFile(const PString &file, BOOL wait = TRUE);
    /// TRUE when nothing is playing: no file, and nothing written waits in the buffers.
    virtual BOOL HasPlayCompleted();
    /// Waits until HasPlayCompleted(); FALSE when aborted or closed first.
    virtual BOOL WaitForPlayCompletion();
    /// Stops playing at once: drops what is queued and ends the calls blocked in Read,
    /// Write, PlayFile and WaitForPlayCompletion. The channel stays open.
    virtual BOOL Abort();

    /// The open device and format (empty and 0 when closed).
    PString GetName() const;
    Directions GetDirection() const;
    unsigned GetChannels() const;
    unsigned GetSampleRate() const;
    unsigned GetSampleSize() const;

  private:
    std::unique_ptr<pwlib::sound::ChannelState> state_;
};
