// Audio Compression Manager: codec drivers, their formats and synchronous conversion streams.
//
// The phone installs no driver: enumeration finds none and no stream opens. Tests install
// drivers through win/msacm_testing.h.
//
// A wave format is read as its 18 header bytes plus cbSize extra bytes (none for PCM), so a
// format may be given as a byte array. Each record's cbStruct must be its size in the 32-bit
// Windows layout (ACMFORMATDETAILSA 152, ACMFORMATTAGDETAILSA 72, ACMSTREAMHEADER 84) or
// sizeof the record here.
#pragma once

#include <win/mmsystem.h>

struct HACMDRIVERID__;
typedef HACMDRIVERID__ *HACMDRIVERID;
struct HACMDRIVER__;
typedef HACMDRIVER__ *HACMDRIVER;
typedef HACMDRIVER *LPHACMDRIVER;
struct HACMSTREAM__;
typedef HACMSTREAM__ *HACMSTREAM;
typedef HACMSTREAM *LPHACMSTREAM;
struct HACMOBJ__;
typedef HACMOBJ__ *HACMOBJ;
typedef WAVEFORMATEX *LPWAVEFORMATEX;
struct WAVEFILTER;
typedef WAVEFILTER *LPWAVEFILTER;

#ifndef MMSYSERR_NOTSUPPORTED
#define MMSYSERR_NOTSUPPORTED 8
#endif
#ifndef MMSYSERR_NOTENABLED
#define MMSYSERR_NOTENABLED 12
#endif
#define ACMERR_NOTPOSSIBLE 512
#define ACMERR_BUSY 513
#define ACMERR_UNPREPARED 514

#define ACMDRIVERDETAILS_SUPPORTF_CODEC 0x00000001u
#define ACMDRIVERDETAILS_SUPPORTF_CONVERTER 0x00000002u
#define ACMDRIVERDETAILS_SUPPORTF_FILTER 0x00000004u
#define ACMDRIVERDETAILS_SUPPORTF_DISABLED 0x80000000u

#define ACM_DRIVERENUMF_DISABLED 0x80000000u
#define ACM_FORMATTAGDETAILSF_FORMATTAG 0x00000001u
#define ACM_METRIC_MAX_SIZE_FORMAT 50

#define ACMSTREAMHEADER_STATUSF_DONE 0x00010000u
#define ACMSTREAMHEADER_STATUSF_PREPARED 0x00020000u

#define ACMFORMATDETAILS_FORMAT_CHARS 128
#define ACMFORMATTAGDETAILS_FORMATTAG_CHARS 48

struct ACMFORMATDETAILSA {
    DWORD cbStruct;
    DWORD dwFormatIndex;
    DWORD dwFormatTag;
    DWORD fdwSupport;
    LPWAVEFORMATEX pwfx;
    DWORD cbwfx;
    char szFormat[ACMFORMATDETAILS_FORMAT_CHARS];
};
typedef ACMFORMATDETAILSA ACMFORMATDETAILS;
typedef ACMFORMATDETAILSA *LPACMFORMATDETAILSA;

struct ACMFORMATTAGDETAILSA {
    DWORD cbStruct;
    DWORD dwFormatTagIndex;
    DWORD dwFormatTag;
    DWORD cbFormatSize;
    DWORD fdwSupport;
    DWORD cFormats;
    char szFormatTag[ACMFORMATTAGDETAILS_FORMATTAG_CHARS];
};
typedef ACMFORMATTAGDETAILSA ACMFORMATTAGDETAILS;
typedef ACMFORMATTAGDETAILSA *LPACMFORMATTAGDETAILSA;

struct ACMSTREAMHEADER {
    DWORD cbStruct;
    DWORD fdwStatus;
    DWORD_PTR dwUser;
    BYTE *pbSrc;
    DWORD cbSrcLength;
    DWORD cbSrcLengthUsed;
    DWORD_PTR dwSrcUser;
    BYTE *pbDst;
    DWORD cbDstLength;
    DWORD cbDstLengthUsed;
    DWORD_PTR dwDstUser;
    DWORD dwReservedDriver[10];
};
typedef ACMSTREAMHEADER *LPACMSTREAMHEADER;

/// Called once per driver; returning FALSE ends the enumeration.
typedef BOOL (*ACMDRIVERENUMCB)(HACMDRIVERID hadid, DWORD_PTR dwInstance, DWORD fdwSupport);
/// Called once per format, with pafd->pwfx holding it; returning FALSE ends the enumeration.
typedef BOOL (*ACMFORMATENUMCBA)(HACMDRIVERID hadid, LPACMFORMATDETAILSA pafd, DWORD_PTR dwInstance,
                                 DWORD fdwSupport);

/// Calls fnCallback for each installed driver, in installation order; disabled drivers only
/// with ACM_DRIVERENUMF_DISABLED.
MMRESULT acmDriverEnum(ACMDRIVERENUMCB fnCallback, DWORD_PTR dwInstance, DWORD fdwEnum);
MMRESULT acmDriverOpen(LPHACMDRIVER phad, HACMDRIVERID hadid, DWORD fdwOpen);
MMRESULT acmDriverClose(HACMDRIVER had, DWORD fdwClose);

/// Lists every format of the open driver had (fdwEnum 0): each is copied into pafd->pwfx
/// (cbwfx bytes; MMSYSERR_INVALPARAM when a format does not fit) before the callback.
MMRESULT acmFormatEnumA(HACMDRIVER had, LPACMFORMATDETAILSA pafd, ACMFORMATENUMCBA fnCallback,
                        DWORD_PTR dwInstance, DWORD fdwEnum);
/// Details of paftd->dwFormatTag (ACM_FORMATTAGDETAILSF_FORMATTAG) from the open driver had,
/// or with had NULL from the first enabled driver that knows the tag.
MMRESULT acmFormatTagDetailsA(HACMDRIVER had, LPACMFORMATTAGDETAILSA paftd, DWORD fdwDetails);
/// ACM_METRIC_MAX_SIZE_FORMAT over all enabled drivers (hao NULL) into a DWORD: the largest
/// format any of them lists, at least 18.
MMRESULT acmMetrics(HACMOBJ hao, UINT uMetric, void *pMetric);

/// Opens a synchronous stream from pwfxSrc to pwfxDst through had, or with had NULL through the
/// first enabled driver that can convert them (ACMERR_NOTPOSSIBLE when none can). No filter,
/// no callback, fdwOpen 0.
MMRESULT acmStreamOpen(LPHACMSTREAM phas, HACMDRIVER had, LPWAVEFORMATEX pwfxSrc,
                       LPWAVEFORMATEX pwfxDst, LPWAVEFILTER pwfltr, DWORD_PTR dwCallback,
                       DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT acmStreamPrepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwPrepare);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwUnprepare);
/// Converts whole blocks of the prepared header's source into its destination while both have
/// room, and reports the bytes used of each; a partial block at the end is left unused.
MMRESULT acmStreamConvert(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwConvert);
MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose);
