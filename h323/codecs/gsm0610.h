// GSM 06.10 full rate over libgsm: capability and codec (160 samples in 33 bytes, 20 ms).
#pragma once

#include <h323/caps/capability.h>
#include <h323/codecs/codec.h>

struct gsm_state;

/// GSM 06.10; the H.245 audioUnitSize is frames x 33 bytes.
class H323_GSM0610Capability : public H323AudioCapability
{
    PCLASSINFO(H323_GSM0610Capability, H323AudioCapability)
  public:
    H323_GSM0610Capability();
    PObject *Clone() const override { return new H323_GSM0610Capability(*this); }
    unsigned GetSubType() const override;
    PString GetFormatName() const override { return OPAL_GSM0610 "{sw}"; }
    H323Codec *CreateCodec(H323Codec::Direction direction) const override;
    BOOL OnSendingPDU(H245_AudioCapability &pdu, unsigned packetSize) const override;
    BOOL OnReceivedPDU(const H245_AudioCapability &pdu, unsigned &packetSize) override;
    using H323AudioCapability::OnReceivedPDU;
    using H323AudioCapability::OnSendingPDU;
};

class H323_GSM0610Codec : public H323FramedAudioCodec
{
    PCLASSINFO(H323_GSM0610Codec, H323FramedAudioCodec)
  public:
    explicit H323_GSM0610Codec(Direction direction);
    ~H323_GSM0610Codec() override;
    BOOL EncodeFrame(BYTE *buffer, unsigned &length) override;
    BOOL DecodeFrame(const BYTE *buffer, unsigned length, unsigned &written) override;

  private:
    gsm_state *gsm;
};
