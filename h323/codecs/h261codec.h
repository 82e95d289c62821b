// H.261 video: the capability (H.245 h261VideoCapability) and the codec over libavcodec.
#pragma once

#include <h323/caps/capability.h>
#include <h323/codecs/codec.h>
#include <h323/codecs/h261packet.h>
#include <h323/codecs/video_format.h>

#include <atomic>
#include <deque>
#include <vector>

class H245_H261VideoCapability;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
namespace h323 {
struct AvCodecLibrary;
}

/// H.261 in QCIF and CIF. Picture intervals 1..4 (0: format absent); maxBitRate in units
/// of 100 bit/s (1..19200).
class H323_H261Capability : public H323VideoCapability
{
    PCLASSINFO(H323_H261Capability, H323VideoCapability)
  public:
    H323_H261Capability(unsigned qcifMPI = 1, unsigned cifMPI = 1,
                        BOOL temporalSpatialTradeOff = FALSE,
                        BOOL stillImageTransmission = FALSE, unsigned maxBitRate = 6217);
    PObject *Clone() const override { return new H323_H261Capability(*this); }

    unsigned GetSubType() const override;
    PString GetFormatName() const override { return OPAL_H261; }
    H323Codec *CreateCodec(H323Codec::Direction direction) const override;

    BOOL OnSendingPDU(H245_VideoCapability &pdu) const override;
    /// FALSE when it is not H.261 or names neither QCIF nor CIF.
    BOOL OnReceivedPDU(const H245_VideoCapability &pdu) override;
    /// A receiver adopts the sender's formats; a transmitter keeps the common ones.
    BOOL OnReceivedPDU(const H245_DataType &pdu, BOOL receiver) override;
    /// The same subtype with a format in common.
    BOOL IsMatch(const H245_DataType &pdu) const override;
    H323VideoCapability *CreateTransmitCapability(const H323VideoCapability &remote) const override;
    using H323VideoCapability::IsMatch;
    using H323VideoCapability::OnReceivedPDU;
    using H323VideoCapability::OnSendingPDU;

    unsigned GetQcifMPI() const { return intervals.mpi[h323::video::QCIF]; }
    unsigned GetCifMPI() const { return intervals.mpi[h323::video::CIF]; }
    unsigned GetMaxBitRate() const { return maxBitRate; }

  private:
    void Read(const H245_H261VideoCapability &h261);
    void Intersect(const H323_H261Capability &other);

    h323::video::PictureIntervals intervals; ///< QCIF and CIF only
    BOOL temporalSpatialTradeOff;
    BOOL stillImageTransmission;
    unsigned maxBitRate;
};

/// The H.261 codec of one channel: libavcodec's encoder with RFC 2032 payloads cut at GOB
/// starts, or its decoder fed the pictures gathered from the payloads. The quality level
/// is the quantiser (1..31); with DynamicVideoQuality the encoder aims at the maximum bit
/// rate instead.
class H323_H261Codec : public H323VideoCodec
{
    PCLASSINFO(H323_H261Codec, H323VideoCodec)
  public:
    /// Payload size the encoder aims at (header included).
    static constexpr size_t kTargetPayload = 1024;

    H323_H261Codec(Direction direction, const h323::video::PictureIntervals &allowed,
                   unsigned maxBitRate);
    ~H323_H261Codec() override;

    BOOL Read(BYTE *buffer, unsigned &length, RTP_DataFrame &rtpFrame) override;
    BOOL Write(const BYTE *buffer, unsigned length, const RTP_DataFrame &rtpFrame,
               unsigned &written) override;
    void OnFastUpdatePicture() override { intraRequested = true; }

  private:
    bool OpenEncoder();
    bool OpenDecoder();
    bool EncodePicture();
    /// Decodes the gathered picture and shows it; FALSE when showing failed.
    bool DecodePicture();
    void FreeContext();

    const h323::AvCodecLibrary *av = nullptr; // opened with the encoder or decoder
    AVCodecContext *context = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *packet = nullptr;
    std::vector<BYTE> picture; ///< one captured or decoded picture, Y, U, V without gaps
    std::deque<std::vector<uint8_t>> payloads;
    DWORD pictureTimestamp = 0;
    DWORD firstTimestamp = 0;
    int64_t lastPts = -1;
    std::atomic<bool> intraRequested{false};
    h323::h261::Depacketiser depacketiser;
    bool haveSequence = false;
    WORD expectedSequence = 0;
    DWORD gatheringTimestamp = 0;
    bool failed = false; ///< the libavcodec coder could not be opened
};
