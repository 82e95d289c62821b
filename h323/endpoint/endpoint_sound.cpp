// H323EndPoint: the sound devices of a call's audio channels.
#include <h323/endpoint/endpoint.h>

#include <pwlib/sound/psoundchannel.h>
#include <pwlib/ptrace.h>

namespace {

/// Listed devices, and the wave-file devices ("file:<path>") the sound channel also opens.
bool IsSoundDevice(const PString &name, PSoundChannel::Directions dir)
{
    if (name.Find("file:") == 0 && name.GetLength() > 5)
        return true;
    if (name == "Null" || name == "Default") // always listed; no need to ask the system
        return true;
    return PSoundChannel::GetDeviceNames(dir).GetStringsIndex(name) != P_MAX_INDEX;
}

} // namespace

BOOL H323EndPoint::SetSoundChannelPlayDevice(const PString &name)
{
    if (!IsSoundDevice(name, PSoundChannel::Player))
        return FALSE;
    soundChannelPlayDevice = name;
    return TRUE;
}

BOOL H323EndPoint::SetSoundChannelRecordDevice(const PString &name)
{
    if (!IsSoundDevice(name, PSoundChannel::Recorder))
        return FALSE;
    soundChannelRecordDevice = name;
    return TRUE;
}

BOOL H323EndPoint::OpenAudioChannel(H323Connection &, BOOL isEncoding, unsigned bufferSize,
                                    H323AudioCodec &codec)
{
    PSoundChannel::Directions dir = isEncoding ? PSoundChannel::Recorder : PSoundChannel::Player;
    PString device = isEncoding ? soundChannelRecordDevice : soundChannelPlayDevice;
    if (device.IsEmpty())
        device = PSoundChannel::GetDefaultDevice(dir);
    PSoundChannel *sound = new PSoundChannel;
    sound->SetBuffers(PINDEX(bufferSize), PINDEX(soundChannelBuffers));
    if (!sound->Open(device, dir, 1, 8000, 16)) {
        PTRACE(1, "H323\tcannot open sound " << (isEncoding ? "recorder " : "player ") << device);
        delete sound;
        return FALSE;
    }
    return codec.AttachChannel(sound, TRUE);
}
