// The process-wide sound mixer connection: playback (wave-out) and microphone volumes.
#pragma once

#include <win/mmsystem.h>
#include <win/windef.h>

#include <string>

/// Opens mixer id for the window (which then receives MM_MIXM_CONTROL_CHANGE); returns the
/// handle, the already open one when a mixer is open, or 0.
HMIXER MixerOpen(HWND hWnd, UINT mixerId);
void MixerClose();
/// Finds the wave-out and microphone volume controls; TRUE when a source line had a volume.
BOOL MixerFindControls();
BOOL MixerGetMicVolume(DWORD *value);
BOOL MixerSetMicVolume(DWORD value);
BOOL MixerGetWaveOutVolume(DWORD *value);
BOOL MixerSetWaveOutVolume(DWORD value);

/// The mixer state, for the volume display and for tests.
struct MixerState {
    HMIXER handle = nullptr;
    std::string name;
    DWORD destinations = 0;
    DWORD destinationChannels = 0; // of the last speakers or wave-in destination examined
    DWORD speakerChannels = 0;     // of the speakers destination: the playback volume's
    DWORD destinationVolumeControl = 0;
    DWORD waveOutVolumeControl = 0;
    DWORD micVolumeControl = 0;
    DWORD micItems = 0;
};
const MixerState &GetMixerState();
