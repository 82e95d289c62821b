// G.711 A-law and mu-law (ITU-T G.711): the companding tables, capabilities and codecs.
#pragma once

#include <h323/caps/capability.h>
#include <h323/codecs/codec.h>

namespace h323::g711 {
/// Compands one 16-bit sample.
uint8_t LinearToUlaw(int16_t sample);
uint8_t LinearToAlaw(int16_t sample);
/// Expands one code.
int16_t UlawToLinear(uint8_t code);
int16_t AlawToLinear(uint8_t code);
} // namespace h323::g711

/// G.711 64 kbit/s; the H.245 packet size counts milliseconds (8 samples).
class H323_G711Capability : public H323AudioCapability
{
    PCLASSINFO(H323_G711Capability, H323AudioCapability)
  public:
    enum Mode { ALaw, muLaw };
    explicit H323_G711Capability(Mode mode = muLaw);
    PObject *Clone() const override { return new H323_G711Capability(*this); }
    unsigned GetSubType() const override;
    PString GetFormatName() const override;
    H323Codec *CreateCodec(H323Codec::Direction direction) const override;
    BOOL OnSendingPDU(H245_AudioCapability &pdu, unsigned packetSize) const override;
    BOOL OnReceivedPDU(const H245_AudioCapability &pdu, unsigned &packetSize) override;
    using H323AudioCapability::OnReceivedPDU;
    using H323AudioCapability::OnSendingPDU;

  private:
    Mode mode;
};

/// The G.711 codec of one direction; each payload is coded and written in one piece.
class H323_G711Codec : public H323FramedAudioCodec
{
    PCLASSINFO(H323_G711Codec, H323FramedAudioCodec)
  public:
    H323_G711Codec(H323_G711Capability::Mode mode, Direction direction);
    BOOL EncodeFrame(BYTE *buffer, unsigned &length) override;
    BOOL DecodeFrame(const BYTE *buffer, unsigned length, unsigned &written) override;
    /// Decodes the whole payload and writes its PCM at once.
    BOOL Write(const BYTE *buffer, unsigned length, const RTP_DataFrame &rtpFrame,
               unsigned &written) override;

  private:
    /// Expands count codes into samples.
    void Expand(const BYTE *codes, unsigned count, short *samples) const;

    H323_G711Capability::Mode mode;
    std::vector<short> pcm;
};
