// OpalMediaFormat: the process-wide format list and the library's own formats.
#include <h323/caps/media_format.h>

#include <mutex>
#include <vector>

namespace {

struct FormatList {
    std::mutex mutex;
    std::vector<OpalMediaFormat> formats;
};

FormatList &List()
{
    static FormatList list;
    return list;
}

} // namespace

OpalMediaFormat::OpalMediaFormat(const char *name, unsigned sessionID, unsigned payloadType,
                                 BOOL jitter, unsigned bw, PINDEX size, unsigned time,
                                 unsigned units, time_t)
    : PCaselessString(name), rtpSessionID(sessionID), rtpPayloadType(payloadType),
      needsJitter(jitter), bandwidth(bw), frameSize(size), frameTime(time), timeUnits(units)
{
    FormatList &list = List();
    std::lock_guard<std::mutex> lock(list.mutex);
    for (const OpalMediaFormat &f : list.formats)
        if (f == *this) {
            *this = f;
            return;
        }
    list.formats.push_back(*this);
}

OpalMediaFormat::OpalMediaFormat(const char *name) : PCaselessString(name)
{
    static const OpalMediaFormat builtIn[] = {
        {OPAL_G711_ULAW_64K, DefaultAudioSessionID, PCMU, TRUE, 64000, 8, 8, AudioTimeUnits},
        {OPAL_G711_ALAW_64K, DefaultAudioSessionID, PCMA, TRUE, 64000, 8, 8, AudioTimeUnits},
        {OPAL_GSM0610, DefaultAudioSessionID, GSM, TRUE, 13200, 33, 160, AudioTimeUnits},
        {OPAL_H261, DefaultVideoSessionID, H261, FALSE, 621700, 0, 0, VideoTimeUnits},
        {OPAL_H263, DefaultVideoSessionID, H263, FALSE, 320000, 0, 0, VideoTimeUnits},
    };
    (void)builtIn;
    FormatList &list = List();
    std::lock_guard<std::mutex> lock(list.mutex);
    for (const OpalMediaFormat &f : list.formats)
        if (f == *this) {
            *this = f;
            return;
        }
}
