// H.263 video: the capability (H.245 h263VideoCapability) and the codec over the h263 coder.
#pragma once

#include <h323/caps/capability.h>
#include <h323/codecs/codec.h>
#include <h323/codecs/video_format.h>

#include <atomic>
#include <memory>

class H245_H263VideoCapability;
class H263Decoder;
class H263Encoder;

/// H.263 baseline. Picture intervals are per format (0: format absent); maxBitRate is in
/// units of 100 bit/s and is clamped to the H.245 range 1..192400.
class H323_H263Capability : public H323VideoCapability
{
    PCLASSINFO(H323_H263Capability, H323VideoCapability)
  public:
    H323_H263Capability(unsigned sqcifMPI = 0, unsigned qcifMPI = 1, unsigned cifMPI = 0,
                        unsigned cif4MPI = 0, unsigned cif16MPI = 0, unsigned maxBitRate = 1920,
                        unsigned videoFrameRate = 10, BOOL unrestrictedVector = FALSE,
                        BOOL arithmeticCoding = FALSE, BOOL advancedPrediction = FALSE,
                        BOOL pbFrames = FALSE, BOOL temporalSpatialTradeOff = TRUE,
                        unsigned hrd_B = 0, unsigned bppMaxKb = 0, unsigned slowSqcifMPI = 0,
                        unsigned slowQcifMPI = 0, unsigned slowCifMPI = 0,
                        unsigned slowCif4MPI = 0, unsigned slowCif16MPI = 0,
                        BOOL errorCompensation = FALSE);
    PObject *Clone() const override { return new H323_H263Capability(*this); }

    unsigned GetSubType() const override;
    PString GetFormatName() const override { return OPAL_H263; }
    H323Codec *CreateCodec(H323Codec::Direction direction) const override;

    BOOL OnSendingPDU(H245_VideoCapability &pdu) const override;
    /// Takes the formats, bit rate and options of a peer's capability; FALSE when it is not
    /// H.263 or has no picture format.
    BOOL OnReceivedPDU(const H245_VideoCapability &pdu) override;
    /// A channel's data type: a receiver adopts the sender's formats, a transmitter keeps
    /// the formats both sides have (FALSE when none).
    BOOL OnReceivedPDU(const H245_DataType &pdu, BOOL receiver) override;
    /// The same subtype with at least one format in common.
    BOOL IsMatch(const H245_DataType &pdu) const override;
    H323VideoCapability *CreateTransmitCapability(const H323VideoCapability &remote) const override;
    using H323VideoCapability::IsMatch;
    using H323VideoCapability::OnReceivedPDU;
    using H323VideoCapability::OnSendingPDU;

    const h323::video::PictureIntervals &GetPictureIntervals() const { return intervals; }
    unsigned GetMaxBitRate() const { return maxBitRate; }
    unsigned GetVideoFrameRate() const { return videoFrameRate; }

  private:
    void Read(const H245_H263VideoCapability &h263);
    void Intersect(const H323_H263Capability &other);

    h323::video::PictureIntervals intervals;
    unsigned maxBitRate;
    unsigned videoFrameRate;
    BOOL unrestrictedVector;
    BOOL arithmeticCoding;
    BOOL advancedPrediction;
    BOOL pbFrames;
    BOOL temporalSpatialTradeOff;
    unsigned hrd_B;
    unsigned bppMaxKb;
    h323::video::PictureIntervals slowIntervals;
    BOOL errorCompensation;
};

/// The H.263 codec of one channel: an H263Encoder (RFC 2190 payloads, one per Read) or an
/// H263Decoder (one payload per Write, the picture shown on the marker).
class H323_H263Codec : public H323VideoCodec
{
    PCLASSINFO(H323_H263Codec, H323VideoCodec)
  public:
    H323_H263Codec(Direction direction, const h323::video::PictureIntervals &allowed,
                   unsigned maxBitRate);
    ~H323_H263Codec() override;

    BOOL Read(BYTE *buffer, unsigned &length, RTP_DataFrame &rtpFrame) override;
    BOOL Write(const BYTE *buffer, unsigned length, const RTP_DataFrame &rtpFrame,
               unsigned &written) override;
    unsigned GetFrameRate() const override { return OpalMediaFormat::VideoTimeUnits * targetFrameTimeMs; }
    void OnFastUpdatePicture() override;

  private:
    PMutex videoMutex;
    std::unique_ptr<H263Encoder> encoder;
    std::unique_ptr<H263Decoder> decoder;
    DWORD pictureTimestamp = 0;
    std::atomic<bool> restart{false}; ///< a fast update asked for an intra picture
    bool haveSequence = false;
    WORD expectedSequence = 0;
};
