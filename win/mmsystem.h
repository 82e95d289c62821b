// WINMM mixer and wave input: the sound card's volume controls and microphone capture.
#pragma once

#include <win/handle.h>
#include <win/windef.h>

typedef UINT MMRESULT;
struct HMIXER__;
typedef HMIXER__ *HMIXER;
typedef HMIXER *LPHMIXER;
typedef HMIXER HMIXEROBJ;
struct HWAVEIN__;
typedef HWAVEIN__ *HWAVEIN;
typedef HWAVEIN *LPHWAVEIN;
typedef uintptr_t DWORD_PTR;

#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_BADDEVICEID 2
#define MMSYSERR_ALLOCATED 4
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NODRIVER 6
#define MMSYSERR_NOMEM 7
#define MMSYSERR_INVALFLAG 10
#define MMSYSERR_INVALPARAM 11
#define MIXERR_INVALLINE 1024
#define MIXERR_INVALCONTROL 1025
#define WAVERR_BADFORMAT 32
#define WAVERR_STILLPLAYING 33
#define WAVERR_UNPREPARED 34

#define CALLBACK_NULL 0x00000000u
#define CALLBACK_WINDOW 0x00010000u
#define CALLBACK_EVENT 0x00050000u
#define MIXER_OBJECTF_HMIXER 0x80000000u
#define MIXER_GETLINEINFOF_DESTINATION 0x00000000u
#define MIXER_GETLINEINFOF_SOURCE 0x00000001u
#define MIXER_GETLINECONTROLSF_ALL 0x00000000u
#define MIXER_GETCONTROLDETAILSF_VALUE 0x00000000u
#define MIXER_SETCONTROLDETAILSF_VALUE 0x00000000u

#define MIXERLINE_COMPONENTTYPE_DST_SPEAKERS 4u
#define MIXERLINE_COMPONENTTYPE_DST_WAVEIN 7u
#define MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE 0x1003u
#define MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT 0x1008u
#define MIXERCONTROL_CONTROLTYPE_VOLUME 0x50030001u

#ifndef MM_MIXM_CONTROL_CHANGE
#define MM_MIXM_CONTROL_CHANGE 0x3d1
#endif

#define MAXPNAMELEN 32
#define MIXER_SHORT_NAME_CHARS 16
#define MIXER_LONG_NAME_CHARS 64

struct MIXERCAPSA {
    WORD wMid;
    WORD wPid;
    UINT vDriverVersion;
    char szPname[MAXPNAMELEN];
    DWORD fdwSupport;
    DWORD cDestinations;
};

struct MIXERLINEA {
    DWORD cbStruct;
    DWORD dwDestination;
    DWORD dwSource;
    DWORD dwLineID;
    DWORD fdwLine;
    DWORD_PTR dwUser;
    DWORD dwComponentType;
    DWORD cChannels;
    DWORD cConnections;
    DWORD cControls;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    struct {
        DWORD dwType;
        DWORD dwDeviceID;
        WORD wMid;
        WORD wPid;
        UINT vDriverVersion;
        char szPname[MAXPNAMELEN];
    } Target;
};

// 148 bytes, as the callers' record size says.
struct MIXERCONTROLA {
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD dwControlType;
    DWORD fdwControl;
    DWORD cMultipleItems;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    union {
        struct {
            DWORD dwMinimum;
            DWORD dwMaximum;
        };
        DWORD dwReserved[6];
    } Bounds;
    union {
        DWORD cSteps;
        DWORD dwReserved[6];
    } Metrics;
};
static_assert(sizeof(MIXERCONTROLA) == 148);

struct MIXERLINECONTROLSA {
    DWORD cbStruct;
    DWORD dwLineID;
    union {
        DWORD dwControlID;
        DWORD dwControlType;
    };
    DWORD cControls;
    DWORD cbmxctrl;
    MIXERCONTROLA *pamxctrl;
};

struct MIXERCONTROLDETAILS {
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD cChannels;
    union {
        HWND hwndOwner;
        DWORD cMultipleItems;
    };
    DWORD cbDetails;
    void *paDetails;
};

struct MIXERCONTROLDETAILS_UNSIGNED {
    DWORD dwValue;
};

/// Mixer id n belongs to playback device n of PSoundChannel::GetDeviceNames(Player): "Default"
/// is ALSA's default mixer, "<card>: <device> (hw:C,D)" the mixer of card C; "Null" has none
/// (mixerOpen and mixerGetDevCapsA give MMSYSERR_BADDEVICEID). mixerGetNumDevs counts the
/// devices with a mixer, which come first.
UINT mixerGetNumDevs();
MMRESULT mixerGetDevCapsA(UINT_PTR uMxId, MIXERCAPSA *pmxcaps, UINT cbmxcaps);
/// With CALLBACK_WINDOW, the window given in dwCallback (an HWND) receives
/// MM_MIXM_CONTROL_CHANGE (wParam: the mixer handle, lParam: the control id) when a control
/// changes; notices for a window that no longer exists are dropped.
MMRESULT mixerOpen(LPHMIXER phmx, UINT uMxId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                   DWORD fdwOpen);
MMRESULT mixerClose(HMIXER hmx);
MMRESULT mixerGetLineInfoA(HMIXEROBJ hmxobj, MIXERLINEA *pmxl, DWORD fdwInfo);
MMRESULT mixerGetLineControlsA(HMIXEROBJ hmxobj, MIXERLINECONTROLSA *pmxlc, DWORD fdwControls);
MMRESULT mixerGetControlDetailsA(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS *pmxcd, DWORD fdwDetails);
MMRESULT mixerSetControlDetails(HMIXEROBJ hmxobj, MIXERCONTROLDETAILS *pmxcd, DWORD fdwDetails);

// Wave input.
#define WAVE_FORMAT_PCM 1
#define WHDR_DONE 0x00000001u
#define WHDR_PREPARED 0x00000002u
#define WHDR_INQUEUE 0x00000010u

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};

struct WAVEHDR {
    char *lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR *lpNext;
    DWORD_PTR reserved;
};

struct WAVEINCAPSA {
    WORD wMid;
    WORD wPid;
    UINT vDriverVersion;
    char szPname[MAXPNAMELEN];
    DWORD dwFormats;
    WORD wChannels;
    WORD wReserved1;
};

/// Device id n is recording device n of PSoundChannel::GetDeviceNames(Recorder), opened as
/// PSoundChannel opens it.
UINT waveInGetNumDevs();
MMRESULT waveInGetDevCapsA(UINT_PTR uDeviceID, WAVEINCAPSA *pwic, UINT cbwic);
/// Only CALLBACK_EVENT (dwCallback: an event HANDLE) and CALLBACK_NULL; the event is set once
/// when the device opens and after each filled block.
MMRESULT waveInOpen(LPHWAVEIN phwi, UINT uDeviceID, const WAVEFORMATEX *pwfx,
                    DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh);
MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh);
MMRESULT waveInStart(HWAVEIN hwi);
MMRESULT waveInStop(HWAVEIN hwi);
MMRESULT waveInReset(HWAVEIN hwi);
MMRESULT waveInClose(HWAVEIN hwi);
