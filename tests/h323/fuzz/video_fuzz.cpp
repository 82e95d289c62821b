// Fuzz target: RTP video payloads through the H.261 and H.263 decoding codecs onto a
// display. The first byte chooses the codec; then records of a 2-byte length, a flags byte
// (bit 0 marker, bit 1 a packet lost before) and the payload.
#include <h323/codecs/h261codec.h>
#include <h323/codecs/h263codec.h>
#include <h323/rtp/rtp_frame.h>

#include <pwlib/video/pvideochannel.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

class NullDisplay : public PVideoOutputDevice
{
  public:
    BOOL Open(const PString &, BOOL) override { return TRUE; }
    BOOL IsOpen() override { return TRUE; }
    PStringList GetDeviceNames() const override { return PStringList{"null"}; }
    PINDEX GetMaxFrameBytes() override { return PINDEX(frameWidth_ * frameHeight_ * 3 / 2); }
    BOOL SetFrameData(unsigned, unsigned, unsigned w, unsigned h, const BYTE *data,
                      BOOL) override
    {
        // The whole picture must be readable.
        volatile BYTE sink = 0;
        for (size_t i = 0; i < size_t(w) * h * 3 / 2; i += 61)
            sink = sink + data[i];
        return TRUE;
    }
    BOOL EndFrame() override { return TRUE; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;
    h323::video::PictureIntervals all;
    std::unique_ptr<H323VideoCodec> codec;
    if (data[0] & 1)
        codec.reset(new H323_H263Codec(H323Codec::Decoder, all, 0));
    else
        codec.reset(new H323_H261Codec(H323Codec::Decoder, all, 0));
    PVideoChannel *channel = new PVideoChannel;
    NullDisplay *display = new NullDisplay;
    display->SetFrameSize(176, 144);
    channel->AttachVideoPlayer(display);
    codec->AttachChannel(channel);

    WORD sequence = 100;
    size_t at = 1;
    while (at + 3 <= size) {
        size_t length = size_t(data[at]) << 8 | data[at + 1];
        uint8_t flags = data[at + 2];
        at += 3;
        length = std::min(length, size - at);
        RTP_DataFrame frame{PINDEX(length)};
        frame.SetPayloadSize(PINDEX(length));
        if (length > 0)
            std::memcpy(frame.GetPayloadPtr(), data + at, length);
        at += length;
        if (flags & 2)
            sequence++;
        frame.SetSequenceNumber(sequence++);
        frame.SetMarker(flags & 1);
        frame.SetTimestamp(DWORD(sequence / 4) * 3003);
        unsigned written = 0;
        if (!codec->Write(frame.GetPayloadPtr(), unsigned(length), frame, written))
            break;
        if (written != length)
            __builtin_trap();
    }
    return 0;
}
