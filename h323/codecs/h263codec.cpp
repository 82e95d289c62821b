// H.263 video: the H.245 capability and the codec driving the h263 encoder and decoder.
#include <h323/codecs/h263codec.h>

#include <h323/asn1/gen/h245.h>
#include <h323/rtp/rtp_frame.h>

#include <h263/decoder.h>
#include <h263/encoder.h>
#include <h263/print.h>

#include <pwlib/ptrace.h>

#include <algorithm>
#include <cstring>

using h323::video::PictureIntervals;

namespace {

// The coder's messages are measured and dropped.
void DropH263Message(const char *text)
{
    (void)std::strlen(text);
}

struct H263PrintHookInstaller {
    H263PrintHookInstaller() { SetH263DebugPrint(DropH263Message); }
} installH263PrintHook;

// The picture interval fields of H263VideoCapability in format order.
struct MpiField {
    int optional;
    asn1::Int<1LL, 32LL> H245_H263VideoCapability::*field;
};
const MpiField kMpiFields[h323::video::NumFormats] = {
    {H245_H263VideoCapability::e_sqcifMPI, &H245_H263VideoCapability::m_sqcifMPI},
    {H245_H263VideoCapability::e_qcifMPI, &H245_H263VideoCapability::m_qcifMPI},
    {H245_H263VideoCapability::e_cifMPI, &H245_H263VideoCapability::m_cifMPI},
    {H245_H263VideoCapability::e_cif4MPI, &H245_H263VideoCapability::m_cif4MPI},
    {H245_H263VideoCapability::e_cif16MPI, &H245_H263VideoCapability::m_cif16MPI},
};

struct SlowMpiField {
    int optional;
    asn1::Int<1LL, 3600LL> H245_H263VideoCapability::*field;
};
const SlowMpiField kSlowMpiFields[h323::video::NumFormats] = {
    {H245_H263VideoCapability::e_slowSqcifMPI, &H245_H263VideoCapability::m_slowSqcifMPI},
    {H245_H263VideoCapability::e_slowQcifMPI, &H245_H263VideoCapability::m_slowQcifMPI},
    {H245_H263VideoCapability::e_slowCifMPI, &H245_H263VideoCapability::m_slowCifMPI},
    {H245_H263VideoCapability::e_slowCif4MPI, &H245_H263VideoCapability::m_slowCif4MPI},
    {H245_H263VideoCapability::e_slowCif16MPI, &H245_H263VideoCapability::m_slowCif16MPI},
};

} // namespace

H323_REGISTER_CAPABILITY(H323_H263Capability, OPAL_H263);

H323_H263Capability::H323_H263Capability(unsigned sqcifMPI, unsigned qcifMPI, unsigned cifMPI,
                                         unsigned cif4MPI, unsigned cif16MPI, unsigned bitRate,
                                         unsigned frameRate, BOOL umv, BOOL sac, BOOL ap, BOOL pb,
                                         BOOL tradeOff, unsigned hrdB, unsigned bppKb,
                                         unsigned slowSqcif, unsigned slowQcif, unsigned slowCif,
                                         unsigned slowCif4, unsigned slowCif16, BOOL errorComp)
    : intervals{{sqcifMPI, qcifMPI, cifMPI, cif4MPI, cif16MPI}},
      maxBitRate(std::clamp(bitRate, 1u, 192400u)), videoFrameRate(frameRate),
      unrestrictedVector(umv), arithmeticCoding(sac), advancedPrediction(ap), pbFrames(pb),
      temporalSpatialTradeOff(tradeOff), hrd_B(hrdB), bppMaxKb(bppKb),
      slowIntervals{{slowSqcif, slowQcif, slowCif, slowCif4, slowCif16}},
      errorCompensation(errorComp)
{
    for (unsigned &m : intervals.mpi)
        m = std::min(m, 32u);
    for (unsigned &m : slowIntervals.mpi)
        m = std::min(m, 3600u);
}

unsigned H323_H263Capability::GetSubType() const
{
    return H245_VideoCapability::e_h263VideoCapability;
}

H323Codec *H323_H263Capability::CreateCodec(H323Codec::Direction direction) const
{
    return new H323_H263Codec(direction, intervals, maxBitRate * 100);
}

BOOL H323_H263Capability::OnSendingPDU(H245_VideoCapability &pdu) const
{
    H245_H263VideoCapability &h263 = pdu.h263VideoCapability();
    for (int f = 0; f < h323::video::NumFormats; f++) {
        if (intervals.mpi[f] != 0) {
            h263.IncludeOptionalField(kMpiFields[f].optional);
            h263.*kMpiFields[f].field = intervals.mpi[f];
        }
        if (slowIntervals.mpi[f] != 0) {
            h263.IncludeOptionalField(kSlowMpiFields[f].optional);
            h263.*kSlowMpiFields[f].field = slowIntervals.mpi[f];
        }
    }
    h263.m_maxBitRate = maxBitRate;
    h263.m_unrestrictedVector = unrestrictedVector != FALSE;
    h263.m_arithmeticCoding = arithmeticCoding != FALSE;
    h263.m_advancedPrediction = advancedPrediction != FALSE;
    h263.m_pbFrames = pbFrames != FALSE;
    h263.m_temporalSpatialTradeOffCapability = temporalSpatialTradeOff != FALSE;
    if (hrd_B != 0) {
        h263.IncludeOptionalField(H245_H263VideoCapability::e_hrd_B);
        h263.m_hrd_B = hrd_B;
    }
    if (bppMaxKb != 0) {
        h263.IncludeOptionalField(H245_H263VideoCapability::e_bppMaxKb);
        h263.m_bppMaxKb = bppMaxKb;
    }
    if (errorCompensation) {
        h263.IncludeOptionalField(H245_H263VideoCapability::e_errorCompensation);
        h263.m_errorCompensation = true;
    }
    return TRUE;
}

void H323_H263Capability::Read(const H245_H263VideoCapability &h263)
{
    for (int f = 0; f < h323::video::NumFormats; f++) {
        intervals.mpi[f] = h263.HasOptionalField(kMpiFields[f].optional)
                               ? unsigned((h263.*kMpiFields[f].field).GetValue())
                               : 0;
        slowIntervals.mpi[f] = h263.HasOptionalField(kSlowMpiFields[f].optional)
                                   ? unsigned((h263.*kSlowMpiFields[f].field).GetValue())
                                   : 0;
    }
    maxBitRate = unsigned(h263.m_maxBitRate.GetValue());
    unrestrictedVector = h263.m_unrestrictedVector;
    arithmeticCoding = h263.m_arithmeticCoding;
    advancedPrediction = h263.m_advancedPrediction;
    pbFrames = h263.m_pbFrames;
    temporalSpatialTradeOff = h263.m_temporalSpatialTradeOffCapability;
    hrd_B = h263.HasOptionalField(H245_H263VideoCapability::e_hrd_B)
                ? unsigned(h263.m_hrd_B.GetValue())
                : 0;
    bppMaxKb = h263.HasOptionalField(H245_H263VideoCapability::e_bppMaxKb)
                   ? unsigned(h263.m_bppMaxKb.GetValue())
                   : 0;
    errorCompensation = h263.HasOptionalField(H245_H263VideoCapability::e_errorCompensation) &&
                        h263.m_errorCompensation;
}

BOOL H323_H263Capability::OnReceivedPDU(const H245_VideoCapability &pdu)
{
    if (pdu.GetTag() != H245_VideoCapability::e_h263VideoCapability)
        return FALSE;
    const H245_H263VideoCapability &h263 = pdu.h263VideoCapability();
    H323_H263Capability received(*this);
    received.Read(h263);
    if (!received.intervals.Any())
        return FALSE;
    *this = received;
    return TRUE;
}

void H323_H263Capability::Intersect(const H323_H263Capability &other)
{
    intervals.Intersect(other.intervals);
    slowIntervals.Intersect(other.slowIntervals);
    maxBitRate = std::min(maxBitRate, other.maxBitRate);
    // The encoder uses none of the options; a channel never claims one the peer lacks.
    unrestrictedVector = unrestrictedVector && other.unrestrictedVector;
    arithmeticCoding = arithmeticCoding && other.arithmeticCoding;
    advancedPrediction = advancedPrediction && other.advancedPrediction;
    pbFrames = pbFrames && other.pbFrames;
    temporalSpatialTradeOff = temporalSpatialTradeOff && other.temporalSpatialTradeOff;
    errorCompensation = errorCompensation && other.errorCompensation;
    hrd_B = std::min(hrd_B, other.hrd_B);
    bppMaxKb = std::min(bppMaxKb, other.bppMaxKb);
}

BOOL H323_H263Capability::OnReceivedPDU(const H245_DataType &pdu, BOOL receiver)
{
    if (pdu.GetTag() != H245_DataType::e_videoData ||
        pdu.videoData().GetTag() != H245_VideoCapability::e_h263VideoCapability)
        return FALSE;
    H323_H263Capability received(*this);
    received.Read(pdu.videoData().h263VideoCapability());
    if (!receiver)
        received.Intersect(*this);
    if (!received.intervals.Any())
        return FALSE;
    *this = received;
    return TRUE;
}

BOOL H323_H263Capability::IsMatch(const H245_DataType &pdu) const
{
    if (!H323VideoCapability::IsMatch(pdu))
        return FALSE;
    H323_H263Capability received(*this);
    received.Read(pdu.videoData().h263VideoCapability());
    received.intervals.Intersect(intervals);
    return received.intervals.Any();
}

H323VideoCapability *H323_H263Capability::CreateTransmitCapability(
    const H323VideoCapability &remote) const
{
    const H323_H263Capability *other = dynamic_cast<const H323_H263Capability *>(&remote);
    if (other == nullptr)
        return nullptr;
    std::unique_ptr<H323_H263Capability> tx(new H323_H263Capability(*this));
    tx->Intersect(*other);
    if (!tx->intervals.Any())
        return nullptr;
    tx->SetCapabilityNumber(remote.GetCapabilityNumber());
    return tx.release();
}

// ---- codec ----

H323_H263Codec::H323_H263Codec(Direction dir, const PictureIntervals &allowed, unsigned bitRate)
    : H323VideoCodec(OPAL_H263, dir, allowed, bitRate)
{
}

H323_H263Codec::~H323_H263Codec()
{
    CloseRawDataChannel();
}

void H323_H263Codec::OnFastUpdatePicture()
{
    restart = true;
}

BOOL H323_H263Codec::Read(BYTE *buffer, unsigned &length, RTP_DataFrame &rtpFrame)
{
    length = 0;
    if (direction != Encoder)
        return FALSE;
    PWaitAndSignal lock(videoMutex);
    if (!encoder || (restart && !encoder->PacketsOutstanding())) {
        // A new encoder codes its first picture intra.
        encoder.reset(new H263Encoder(0, 0));
        restart = false;
    }
    if (!encoder->PacketsOutstanding()) {
        encoder->SetSize(int(frameWidth), int(frameHeight));
        if (encoder->GetFramePtr() == nullptr || !ReadPicture(encoder->GetFramePtr(), pictureTimestamp))
            return FALSE;
        encoder->ProcessOneFrame();
    }
    encoder->ReadOnePacket(buffer, length);
    rtpFrame.SetMarker(!encoder->PacketsOutstanding());
    rtpFrame.SetTimestamp(pictureTimestamp);
    return length == 0 || PacePacket(length);
}

BOOL H323_H263Codec::Write(const BYTE *buffer, unsigned length, const RTP_DataFrame &rtpFrame,
                           unsigned &written)
{
    written = length; // a payload is taken whole
    if (direction != Decoder)
        return FALSE;
    PWaitAndSignal lock(rawChannelMutex);
    if (rawDataChannel == nullptr)
        return TRUE;
    if (length == 0)
        return TRUE;
    if (!decoder)
        decoder.reset(new H263Decoder);
    WORD sequence = rtpFrame.GetSequenceNumber();
    bool lost = haveSequence && sequence != expectedSequence;
    haveSequence = true;
    expectedSequence = WORD(sequence + 1);
    BOOL marker = rtpFrame.GetMarker();
    decoder->DecodePacket(buffer, int(length), lost, marker, sequence, rtpFrame.GetTimestamp());
    // A picture is ready at its marker, later when its packets came out of order, or at the
    // next picture's first packet when its marker packet was lost.
    if (!decoder->PictureReady())
        return TRUE;
    decoder->FinishFrame();
    const uint8_t *picture = decoder->GetFramePtr();
    if (picture == nullptr || decoder->width() <= 0 || decoder->height() <= 0)
        return TRUE;
    frameWidth = unsigned(decoder->width());
    frameHeight = unsigned(decoder->height());
    return ShowPicture(picture, frameWidth, frameHeight);
}
