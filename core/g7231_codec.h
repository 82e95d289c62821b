// G.723.1 over the coder library: the "G.723.1{sw}" capability and its codec, and what both
// G.723.1 codecs share (media format, frame lengths, the H.245 capability, frame-wise decoding).
#pragma once

#include <h323/caps/capability.h>
#include <h323/codecs/codec.h>

#include <win/windef.h>

/// Name of the media format of both G.723.1 codecs (payload type 4, 30 ms frames of up to 24
/// bytes).
#define OPAL_G7231 "G.723.1"

/// Coded length of the G.723.1 frame whose first byte is given (its rate and frame-type bits):
/// 24 (6.3 kbit/s), 20 (5.3 kbit/s), 4 (silence descriptor) or 1 (untransmitted).
unsigned G7231FrameLength(BYTE firstByte);

/// The audio capability as both G.723.1 capabilities send it: g7231 with packetSize frames and
/// silence suppression.
BOOL G7231OnSendingPDU(H245_AudioCapability &pdu, unsigned packetSize);
/// FALSE unless the capability is g7231; otherwise packetSize := its maximum frames.
BOOL G7231OnReceivedPDU(const H245_AudioCapability &pdu, unsigned &packetSize);

class H323_G7231Capability : public H323AudioCapability
{
    PCLASSINFO(H323_G7231Capability, H323AudioCapability)
  public:
    H323_G7231Capability();
    PObject *Clone() const override { return new H323_G7231Capability(*this); }
    unsigned GetSubType() const override;
    PString GetFormatName() const override { return OPAL_G7231 "{sw}"; }
    H323Codec *CreateCodec(H323Codec::Direction direction) const override;
    BOOL OnSendingPDU(H245_AudioCapability &pdu, unsigned packetSize) const override;
    BOOL OnReceivedPDU(const H245_AudioCapability &pdu, unsigned &packetSize) override;
    using H323AudioCapability::OnReceivedPDU;
    using H323AudioCapability::OnSendingPDU;
};

class H323_G7231Codec : public H323FramedAudioCodec
{
    PCLASSINFO(H323_G7231Codec, H323FramedAudioCodec)
  public:
    explicit H323_G7231Codec(Direction direction);
    ~H323_G7231Codec() override;
    /// Decodes the frame at the start of buffer (its length by its first byte) and writes its
    /// PCM; an empty payload or a failed decode gives 30 ms of silence. written is the frame's
    /// length (0 for an empty payload). FALSE on an encoder.
    BOOL Write(const BYTE *buffer, unsigned length, const RTP_DataFrame &rtpFrame,
               unsigned &written) override;
    BOOL EncodeFrame(BYTE *buffer, unsigned &length) override;
    BOOL DecodeFrame(const BYTE *buffer, unsigned length, unsigned &written) override;
    void DecodeSilenceFrame(void *buffer, unsigned length) override;

  private:
    DWORD m_encoderState = 0;
    DWORD m_decoderState = 0;
};

namespace g7231
{

constexpr unsigned kSamplesPerFrame = 240;
constexpr unsigned kPcmBytes = kSamplesPerFrame * 2;
constexpr unsigned kFullRateBytes = 24;

/// Write of both codecs: one frame decoded by decode (or silence), then written to the raw
/// channel. The codec's raw-channel mutex is held by the caller.
template <typename Codec, typename Decode>
BOOL WriteOneFrame(Codec &codec, short *samples, const BYTE *buffer, unsigned length,
                   unsigned &written, Decode decode)
{
    if (codec.GetDirection() != H323Codec::Decoder)
        return FALSE;
    written = 0;
    bool decoded = false;
    if (length > 0) {
        unsigned frameLength = G7231FrameLength(buffer[0]);
        // A frame cut short by the end of the payload is decoded from what is there.
        if (frameLength > length)
            frameLength = length;
        decoded = decode(buffer, frameLength, written);
        written = frameLength;
    }
    if (!decoded)
        codec.DecodeSilenceFrame(samples, kPcmBytes);
    return codec.WriteRaw(samples, PINDEX(kPcmBytes));
}

} // namespace g7231
