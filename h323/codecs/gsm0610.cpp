// GSM 06.10 full rate (ETSI GSM 06.10) through libgsm.
#include <h323/codecs/gsm0610.h>

#include <h323/asn1/gen/h245.h>

#include <gsm.h>

namespace {
constexpr unsigned kGsmFrameBytes = 33;
}

H323_REGISTER_CAPABILITY(H323_GSM0610Capability, OPAL_GSM0610 "{sw}");

H323_GSM0610Capability::H323_GSM0610Capability() : H323AudioCapability(7, 4) {}

unsigned H323_GSM0610Capability::GetSubType() const
{
    return H245_AudioCapability::e_gsmFullRate;
}

H323Codec *H323_GSM0610Capability::CreateCodec(H323Codec::Direction direction) const
{
    return new H323_GSM0610Codec(direction);
}

BOOL H323_GSM0610Capability::OnSendingPDU(H245_AudioCapability &pdu, unsigned packetSize) const
{
    H245_GSMAudioCapability &gsm = pdu.gsmFullRate();
    gsm.m_audioUnitSize = packetSize * kGsmFrameBytes;
    gsm.m_comfortNoise = false;
    gsm.m_scrambled = false;
    return TRUE;
}

BOOL H323_GSM0610Capability::OnReceivedPDU(const H245_AudioCapability &pdu, unsigned &packetSize)
{
    if (pdu.GetTag() != H245_AudioCapability::e_gsmFullRate)
        return FALSE;
    unsigned frames = unsigned(pdu.gsmFullRate().m_audioUnitSize.GetValue()) / kGsmFrameBytes;
    packetSize = frames > 0 ? frames : 1;
    return TRUE;
}

H323_GSM0610Codec::H323_GSM0610Codec(Direction dir)
    : H323FramedAudioCodec(OPAL_GSM0610, dir), gsm(gsm_create())
{
}

H323_GSM0610Codec::~H323_GSM0610Codec()
{
    if (gsm != nullptr)
        gsm_destroy(gsm);
}

BOOL H323_GSM0610Codec::EncodeFrame(BYTE *buffer, unsigned &length)
{
    if (gsm == nullptr)
        return FALSE;
    gsm_encode(gsm, reinterpret_cast<gsm_signal *>(sampleBuffer.GetPointer(160)), buffer);
    length = kGsmFrameBytes;
    return TRUE;
}

BOOL H323_GSM0610Codec::DecodeFrame(const BYTE *buffer, unsigned length, unsigned &written)
{
    if (gsm == nullptr || length < kGsmFrameBytes)
        return FALSE;
    written = kGsmFrameBytes;
    return gsm_decode(gsm, const_cast<gsm_byte *>(buffer),
                      reinterpret_cast<gsm_signal *>(sampleBuffer.GetPointer(160))) == 0;
}
