// Mixer connection: control search over the mixer's lines, volume get and set.
#include <core/sound_mixer.h>

#include <algorithm>
#include <vector>

namespace {

MixerState g_mixer;

// At most this many control records are looked at per line.
constexpr DWORD kMaxControls = 151;

std::vector<MIXERCONTROLA> ReadControls(DWORD lineId, DWORD count)
{
    std::vector<MIXERCONTROLA> records(std::min(count, kMaxControls));
    if (records.empty())
        return records;
    MIXERLINECONTROLSA lc{};
    lc.cbStruct = sizeof lc;
    lc.dwLineID = lineId;
    lc.cControls = DWORD(records.size());
    lc.cbmxctrl = sizeof(MIXERCONTROLA);
    lc.pamxctrl = records.data();
    if (mixerGetLineControlsA(reinterpret_cast<HMIXEROBJ>(g_mixer.handle), &lc,
                              MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ALL) !=
            MMSYSERR_NOERROR)
        return {};
    records.resize(std::min(lc.cControls, DWORD(records.size())));
    return records;
}

BOOL GetDetails(DWORD control, DWORD channels, DWORD *value)
{
    *value = 0;
    if (!g_mixer.handle || control == 0 || channels == 0)
        return FALSE;
    std::vector<MIXERCONTROLDETAILS_UNSIGNED> values(channels);
    MIXERCONTROLDETAILS d{};
    d.cbStruct = sizeof d;
    d.dwControlID = control;
    d.cChannels = channels;
    d.cMultipleItems = 0;
    d.cbDetails = sizeof(MIXERCONTROLDETAILS_UNSIGNED);
    d.paDetails = values.data();
    if (mixerGetControlDetailsA(reinterpret_cast<HMIXEROBJ>(g_mixer.handle), &d,
                                MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) !=
        MMSYSERR_NOERROR)
        return FALSE;
    *value = values[0].dwValue;
    return TRUE;
}

BOOL SetDetails(DWORD control, DWORD channels, DWORD items, DWORD value)
{
    if (!g_mixer.handle || control == 0 || channels == 0)
        return FALSE;
    std::vector<MIXERCONTROLDETAILS_UNSIGNED> values(channels, {value});
    MIXERCONTROLDETAILS d{};
    d.cbStruct = sizeof d;
    d.dwControlID = control;
    d.cChannels = channels;
    d.cMultipleItems = items;
    d.cbDetails = sizeof(MIXERCONTROLDETAILS_UNSIGNED);
    d.paDetails = values.data();
    return mixerSetControlDetails(reinterpret_cast<HMIXEROBJ>(g_mixer.handle), &d,
                                  MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE) ==
           MMSYSERR_NOERROR;
}

} // namespace

const MixerState &GetMixerState() { return g_mixer; }

HMIXER MixerOpen(HWND hWnd, UINT mixerId)
{
    mixerGetNumDevs();
    g_mixer.waveOutVolumeControl = 0;
    g_mixer.micVolumeControl = 0;
    if (g_mixer.handle)
        return g_mixer.handle;
    MIXERCAPSA caps{};
    if (mixerId == 0xFFFFFFFFu || mixerGetDevCapsA(mixerId, &caps, sizeof caps) != MMSYSERR_NOERROR)
        return nullptr;
    g_mixer.destinations = caps.cDestinations;
    HMIXER h = nullptr;
    if (mixerOpen(&h, mixerId, reinterpret_cast<DWORD_PTR>(hWnd), 0,
                  hWnd ? CALLBACK_WINDOW : CALLBACK_NULL) != MMSYSERR_NOERROR)
        return nullptr;
    g_mixer.handle = h;
    if (mixerGetDevCapsA(reinterpret_cast<UINT_PTR>(h), &caps, sizeof caps) == MMSYSERR_NOERROR)
        g_mixer.name = caps.szPname;
    return h;
}

void MixerClose()
{
    g_mixer.waveOutVolumeControl = 0;
    g_mixer.micVolumeControl = 0;
    if (g_mixer.handle)
        mixerClose(g_mixer.handle);
    g_mixer.handle = nullptr;
}

BOOL MixerFindControls()
{
    if (!g_mixer.handle || g_mixer.destinations == 0)
        return FALSE;
    BOOL found = FALSE;
    auto obj = reinterpret_cast<HMIXEROBJ>(g_mixer.handle);
    for (DWORD d = 0; d < g_mixer.destinations; ++d) {
        MIXERLINEA dest{};
        dest.cbStruct = sizeof dest;
        dest.dwDestination = d;
        if (mixerGetLineInfoA(obj, &dest, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_DESTINATION) !=
            MMSYSERR_NOERROR)
            continue;
        bool speakers = dest.dwComponentType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
        bool waveIn = dest.dwComponentType == MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
        if (!speakers && !waveIn)
            continue;
        g_mixer.destinationChannels = dest.cChannels;
        if (speakers)
            g_mixer.speakerChannels = dest.cChannels;
        for (const auto &c : ReadControls(dest.dwLineID, dest.cControls))
            if (c.dwControlType == MIXERCONTROL_CONTROLTYPE_VOLUME)
                g_mixer.destinationVolumeControl = c.dwControlID;
        for (DWORD s = 0; s < dest.cConnections; ++s) {
            MIXERLINEA src{};
            src.cbStruct = sizeof src;
            src.dwDestination = d;
            src.dwSource = s;
            if (mixerGetLineInfoA(obj, &src, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE) !=
                MMSYSERR_NOERROR)
                continue;
            bool waveOut = speakers && src.dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
            bool mic = waveIn && src.dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
            if (src.cControls == 0) {
                // A source without controls is driven by its destination's volume.
                if (waveOut && !g_mixer.waveOutVolumeControl)
                    g_mixer.waveOutVolumeControl = g_mixer.destinationVolumeControl;
                if (mic && !g_mixer.micVolumeControl)
                    g_mixer.micVolumeControl = g_mixer.destinationVolumeControl;
                continue;
            }
            for (const auto &c : ReadControls(src.dwLineID, src.cControls)) {
                if (c.dwControlType != MIXERCONTROL_CONTROLTYPE_VOLUME)
                    continue;
                if (waveOut && !g_mixer.waveOutVolumeControl)
                    g_mixer.waveOutVolumeControl = c.dwControlID;
                if (mic && !g_mixer.micVolumeControl) {
                    g_mixer.micVolumeControl = c.dwControlID;
                    g_mixer.micItems = c.cMultipleItems;
                }
                found = TRUE;
            }
        }
    }
    return found;
}

BOOL MixerGetMicVolume(DWORD *value) { return GetDetails(g_mixer.micVolumeControl, 1, value); }

BOOL MixerSetMicVolume(DWORD value)
{
    return SetDetails(g_mixer.micVolumeControl, 1, g_mixer.micItems, value);
}

BOOL MixerGetWaveOutVolume(DWORD *value)
{
    return GetDetails(g_mixer.waveOutVolumeControl, g_mixer.speakerChannels, value);
}

BOOL MixerSetWaveOutVolume(DWORD value)
{
    return SetDetails(g_mixer.waveOutVolumeControl, g_mixer.speakerChannels, 0, value);
}
