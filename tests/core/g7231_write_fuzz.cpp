// Fuzz target: RTP payloads of G.723.1 frames of any lengths into both decoders' Write, frame
// by frame as the receiving channel hands them over.
#include <core/acm_g7231.h>
#include <core/g7231_codec.h>

#include <h323/callsig/connection.h>
#include <h323/endpoint/endpoint.h>
#include <h323/rtp/rtp_frame.h>

#include <win/msacm_testing.h>

#include <cstdint>
#include <cstdlib>

namespace
{

/// A raw channel that checks every block the decoder writes is one frame of PCM.
class PcmCheck : public PChannel
{
  public:
    BOOL IsOpen() const override { return TRUE; }
    BOOL Close() override { return TRUE; }
    BOOL Read(void *, PINDEX) override { return FALSE; }
    BOOL Write(const void *, PINDEX len) override
    {
        if (len != PINDEX(g7231::kPcmBytes))
            std::abort();
        blocks++;
        return TRUE;
    }
    int blocks = 0;
};

struct Decoder {
    H323FramedAudioCodec *codec = nullptr;
    PcmCheck *sink = nullptr; // owned by the codec
};

Decoder Attach(H323FramedAudioCodec *codec)
{
    Decoder d{codec, new PcmCheck};
    codec->AttachChannel(d.sink, TRUE);
    return d;
}

/// Both decoders, made once: the ACM one opens its stream through a connection.
struct Decoders {
    Decoders()
    {
        win::testing::InstallAcmDriver(win::testing::G7231AcmDriver());
        endpoint = new H323EndPoint;
        connection = new H323Connection(*endpoint, 1);
        sw = Attach(new H323_G7231Codec(H323Codec::Decoder));
        H323_ACMCodec *codec = new H323_ACMCodec(H323Codec::Decoder);
        if (!codec->Open(*connection))
            std::abort();
        codec->CloseRawDataChannel();
        acm = Attach(codec);
    }
    H323EndPoint *endpoint;
    H323Connection *connection;
    Decoder sw, acm;
};

void WritePayload(Decoder &d, const uint8_t *data, size_t size)
{
    RTP_DataFrame frame;
    size_t at = 0;
    do {
        unsigned written = 999;
        int before = d.sink->blocks;
        if (!d.codec->Write(data + at, unsigned(size - at), frame, written))
            std::abort();
        if (d.sink->blocks != before + 1)
            std::abort(); // one frame of PCM (or silence) per call
        if (at == size ? written != 0 : written == 0 || written > size - at)
            std::abort();
        at += written;
    } while (at < size);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("KESTRELIN_SOUND", "null", 1); // the ACM codec's Open opens a sound channel
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Nothing larger than an RTP payload; the codecs live for the process, as a call's do.
    if (size > 1500)
        return 0;
    static Decoders *decoders = new Decoders;
    WritePayload(decoders->sw, data, size);
    WritePayload(decoders->acm, data, size);
    return 0;
}
