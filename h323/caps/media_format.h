// OpalMediaFormat: the registry of media formats (RTP session, payload type, frame sizes).
#pragma once

#include <pwlib/pstring.h>

#include <ctime>

/// A media format, named ("GSM-06.10", "G.711-uLaw-64k", ...). The registering constructor
/// enters a format into the process-wide list (normally from a static object, before main);
/// the searching constructor finds one by name.
class OpalMediaFormat : public PCaselessString
{
    PCLASSINFO(OpalMediaFormat, PCaselessString)
  public:
    enum { DefaultAudioSessionID = 1, DefaultVideoSessionID = 2, DefaultDataSessionID = 3 };
    enum StandardTimeUnits { AudioTimeUnits = 8, VideoTimeUnits = 90 };
    /// RTP payload types used by the formats (RFC 3551).
    enum PayloadTypes {
        PCMU = 0,
        GSM = 3,
        G7231 = 4,
        PCMA = 8,
        H261 = 31,
        H263 = 34,
        DynamicBase = 96,
        IllegalPayloadType = 128
    };

    /// An invalid format.
    OpalMediaFormat() = default;
    /// Finds the registered format named name (exact, caseless); invalid when none.
    explicit OpalMediaFormat(const char *name);
    /// Registers a format: name, RTP session, payload type, whether it needs a jitter
    /// buffer, bandwidth in bit/s, bytes per frame, time units per frame, time units per
    /// millisecond. A second registration of the same name keeps the first.
    OpalMediaFormat(const char *name, unsigned rtpSessionID, unsigned rtpPayloadType,
                    BOOL needsJitter, unsigned bandwidth, PINDEX frameSize = 0,
                    unsigned frameTime = 0, unsigned timeUnits = 0, time_t timeStamp = 0);

    PObject *Clone() const override { return new OpalMediaFormat(*this); }

    BOOL IsValid() const { return rtpSessionID != 0; }
    unsigned GetDefaultSessionID() const { return rtpSessionID; }
    unsigned GetPayloadType() const { return rtpPayloadType; }
    BOOL NeedsJitterBuffer() const { return needsJitter; }
    unsigned GetBandwidth() const { return bandwidth; }
    PINDEX GetFrameSize() const { return frameSize; }
    unsigned GetFrameTime() const { return frameTime; }
    unsigned GetTimeUnits() const { return timeUnits; }

  private:
    unsigned rtpSessionID = 0;
    unsigned rtpPayloadType = IllegalPayloadType;
    BOOL needsJitter = FALSE;
    unsigned bandwidth = 0;
    PINDEX frameSize = 0;
    unsigned frameTime = 0;
    unsigned timeUnits = 0;
};

/// Names of the library's own formats.
#define OPAL_G711_ULAW_64K "G.711-uLaw-64k"
#define OPAL_G711_ALAW_64K "G.711-ALaw-64k"
#define OPAL_GSM0610 "GSM-06.10"
#define OPAL_H261 "H.261"
#define OPAL_H263 "H.263"
