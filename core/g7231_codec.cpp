// G.723.1 over the coder library, and the parts both G.723.1 codecs share.
#include <core/g7231_codec.h>

#include <h323/asn1/gen/h245.h>

#include <win/g723lib.h>

#include <cstring>

namespace
{

// 30 ms frames: 240 time units at 8 per millisecond, up to 24 bytes, 6400 bit/s.
const OpalMediaFormat g7231MediaFormat(OPAL_G7231, OpalMediaFormat::DefaultAudioSessionID,
                                       OpalMediaFormat::G7231, TRUE, 6400, 24, 240,
                                       OpalMediaFormat::AudioTimeUnits);

} // namespace

H323_REGISTER_CAPABILITY(H323_G7231Capability, OPAL_G7231 "{sw}");

unsigned G7231FrameLength(BYTE firstByte)
{
    static constexpr unsigned kLength[4] = {24, 20, 4, 1};
    return kLength[firstByte & 3];
}

BOOL G7231OnSendingPDU(H245_AudioCapability &pdu, unsigned packetSize)
{
    H245_AudioCapability_g7231 &g7231 = pdu.g7231();
    g7231.m_maxAl_sduAudioFrames = packetSize;
    g7231.m_silenceSuppression = true;
    return TRUE;
}

BOOL G7231OnReceivedPDU(const H245_AudioCapability &pdu, unsigned &packetSize)
{
    if (pdu.GetTag() != H245_AudioCapability::e_g7231)
        return FALSE;
    packetSize = unsigned(pdu.g7231().m_maxAl_sduAudioFrames.GetValue());
    return TRUE;
}

// ---- capability ----

H323_G7231Capability::H323_G7231Capability() : H323AudioCapability(7, 4) {}

unsigned H323_G7231Capability::GetSubType() const
{
    return H245_AudioCapability::e_g7231;
}

H323Codec *H323_G7231Capability::CreateCodec(H323Codec::Direction direction) const
{
    return new H323_G7231Codec(direction);
}

BOOL H323_G7231Capability::OnSendingPDU(H245_AudioCapability &pdu, unsigned packetSize) const
{
    return G7231OnSendingPDU(pdu, packetSize);
}

BOOL H323_G7231Capability::OnReceivedPDU(const H245_AudioCapability &pdu, unsigned &packetSize)
{
    return G7231OnReceivedPDU(pdu, packetSize);
}

// ---- codec ----

H323_G7231Codec::H323_G7231Codec(Direction dir) : H323FramedAudioCodec(OPAL_G7231, dir)
{
    if (dir == Decoder)
        m_decoderState = g723_dec_init();
    else
        m_encoderState = g723_enc_init();
}

H323_G7231Codec::~H323_G7231Codec()
{
    if (m_encoderState != 0)
        g723_enc_cleanup(m_encoderState);
    if (m_decoderState != 0)
        g723_dec_cleanup(m_decoderState);
}

BOOL H323_G7231Codec::Write(const BYTE *buffer, unsigned length, const RTP_DataFrame &,
                            unsigned &written)
{
    PWaitAndSignal lock(rawChannelMutex);
    short *samples = sampleBuffer.GetPointer(PINDEX(g7231::kSamplesPerFrame));
    return g7231::WriteOneFrame(*this, samples, buffer, length, written,
                                [this](const BYTE *frame, unsigned n, unsigned &used) {
                                    return DecodeFrame(frame, n, used) != FALSE;
                                });
}

BOOL H323_G7231Codec::EncodeFrame(BYTE *buffer, unsigned &length)
{
    // Without a coder state nothing is written: no frame to send.
    if (g723_encode(m_encoderState, sampleBuffer.GetPointer(PINDEX(g7231::kSamplesPerFrame)),
                    g7231::kPcmBytes, buffer, g7231::kFullRateBytes) < 0)
        return FALSE;
    length = G7231FrameLength(buffer[0]);
    return TRUE;
}

BOOL H323_G7231Codec::DecodeFrame(const BYTE *buffer, unsigned length, unsigned &)
{
    // Without a coder state nothing is decoded: the frame becomes silence.
    return g723_decode(m_decoderState, buffer, length,
                       sampleBuffer.GetPointer(PINDEX(g7231::kSamplesPerFrame)),
                       g7231::kPcmBytes) >= 0;
}

void H323_G7231Codec::DecodeSilenceFrame(void *buffer, unsigned length)
{
    std::memset(buffer, 0, length);
}
