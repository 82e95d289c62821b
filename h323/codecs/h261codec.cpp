// H.261 video: the H.245 capability and the codec over libavcodec's H.261 encoder and decoder
// (the library opened with the first codec that needs it).
#include <h323/codecs/h261codec.h>

#include <h323/asn1/gen/h245.h>
#include <h323/rtp/rtp_frame.h>

#include <pwlib/ptrace.h>

#include <h323/codecs/avcodec_library.h>

#include <algorithm>
#include <cstring>
#include <memory>

using h323::video::CIF;
using h323::video::PictureIntervals;
using h323::video::QCIF;

H323_REGISTER_CAPABILITY(H323_H261Capability, OPAL_H261);

H323_H261Capability::H323_H261Capability(unsigned qcifMPI, unsigned cifMPI, BOOL tradeOff,
                                         BOOL stillImage, unsigned bitRate)
    : temporalSpatialTradeOff(tradeOff), stillImageTransmission(stillImage),
      maxBitRate(std::clamp(bitRate, 1u, 19200u))
{
    intervals.mpi[QCIF] = std::min(qcifMPI, 4u);
    intervals.mpi[CIF] = std::min(cifMPI, 4u);
}

unsigned H323_H261Capability::GetSubType() const
{
    return H245_VideoCapability::e_h261VideoCapability;
}

H323Codec *H323_H261Capability::CreateCodec(H323Codec::Direction direction) const
{
    return new H323_H261Codec(direction, intervals, maxBitRate * 100);
}

BOOL H323_H261Capability::OnSendingPDU(H245_VideoCapability &pdu) const
{
    H245_H261VideoCapability &h261 = pdu.h261VideoCapability();
    if (intervals.mpi[QCIF] != 0) {
        h261.IncludeOptionalField(H245_H261VideoCapability::e_qcifMPI);
        h261.m_qcifMPI = intervals.mpi[QCIF];
    }
    if (intervals.mpi[CIF] != 0) {
        h261.IncludeOptionalField(H245_H261VideoCapability::e_cifMPI);
        h261.m_cifMPI = intervals.mpi[CIF];
    }
    h261.m_temporalSpatialTradeOffCapability = temporalSpatialTradeOff != FALSE;
    h261.m_maxBitRate = maxBitRate;
    h261.m_stillImageTransmission = stillImageTransmission != FALSE;
    return TRUE;
}

void H323_H261Capability::Read(const H245_H261VideoCapability &h261)
{
    intervals = PictureIntervals{};
    if (h261.HasOptionalField(H245_H261VideoCapability::e_qcifMPI))
        intervals.mpi[QCIF] = unsigned(h261.m_qcifMPI.GetValue());
    if (h261.HasOptionalField(H245_H261VideoCapability::e_cifMPI))
        intervals.mpi[CIF] = unsigned(h261.m_cifMPI.GetValue());
    temporalSpatialTradeOff = h261.m_temporalSpatialTradeOffCapability;
    stillImageTransmission = h261.m_stillImageTransmission;
    maxBitRate = unsigned(h261.m_maxBitRate.GetValue());
}

void H323_H261Capability::Intersect(const H323_H261Capability &other)
{
    intervals.Intersect(other.intervals);
    temporalSpatialTradeOff = temporalSpatialTradeOff && other.temporalSpatialTradeOff;
    stillImageTransmission = stillImageTransmission && other.stillImageTransmission;
    maxBitRate = std::min(maxBitRate, other.maxBitRate);
}

BOOL H323_H261Capability::OnReceivedPDU(const H245_VideoCapability &pdu)
{
    if (pdu.GetTag() != H245_VideoCapability::e_h261VideoCapability)
        return FALSE;
    H323_H261Capability received(*this);
    received.Read(pdu.h261VideoCapability());
    if (!received.intervals.Any())
        return FALSE;
    *this = received;
    return TRUE;
}

BOOL H323_H261Capability::OnReceivedPDU(const H245_DataType &pdu, BOOL receiver)
{
    if (pdu.GetTag() != H245_DataType::e_videoData ||
        pdu.videoData().GetTag() != H245_VideoCapability::e_h261VideoCapability)
        return FALSE;
    H323_H261Capability received(*this);
    received.Read(pdu.videoData().h261VideoCapability());
    if (!receiver)
        received.Intersect(*this);
    if (!received.intervals.Any())
        return FALSE;
    *this = received;
    return TRUE;
}

BOOL H323_H261Capability::IsMatch(const H245_DataType &pdu) const
{
    if (!H323VideoCapability::IsMatch(pdu))
        return FALSE;
    H323_H261Capability received(*this);
    received.Read(pdu.videoData().h261VideoCapability());
    received.intervals.Intersect(intervals);
    return received.intervals.Any();
}

H323VideoCapability *H323_H261Capability::CreateTransmitCapability(
    const H323VideoCapability &remote) const
{
    const H323_H261Capability *other = dynamic_cast<const H323_H261Capability *>(&remote);
    if (other == nullptr)
        return nullptr;
    std::unique_ptr<H323_H261Capability> tx(new H323_H261Capability(*this));
    tx->Intersect(*other);
    if (!tx->intervals.Any())
        return nullptr;
    tx->SetCapabilityNumber(remote.GetCapabilityNumber());
    return tx.release();
}

// ---- codec ----

namespace {

/// H.261 asks every macroblock to be coded intra at least once in 132 pictures.
constexpr int kIntraPeriod = 120;
/// The finest quantiser the encoder uses: it keeps a CIF GOB within one payload.
constexpr int kFinestQuantiser = 3;

} // namespace

H323_H261Codec::H323_H261Codec(Direction dir, const PictureIntervals &allowed, unsigned bitRate)
    : H323VideoCodec(OPAL_H261, dir, allowed, bitRate)
{
}

H323_H261Codec::~H323_H261Codec()
{
    CloseRawDataChannel();
    FreeContext();
}

void H323_H261Codec::FreeContext()
{
    if (av == nullptr)
        return;
    av->avcodec_free_context(&context);
    av->av_frame_free(&frame);
    av->av_packet_free(&packet);
}

bool H323_H261Codec::OpenEncoder()
{
    if ((av = h323::AvCodec()) == nullptr)
        return false;
    const AVCodec *codec = av->avcodec_find_encoder(AV_CODEC_ID_H261);
    context = codec != nullptr ? av->avcodec_alloc_context3(codec) : nullptr;
    frame = av->av_frame_alloc();
    packet = av->av_packet_alloc();
    if (context == nullptr || frame == nullptr || packet == nullptr)
        return false;
    context->width = int(frameWidth);
    context->height = int(frameHeight);
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1001, 30000}; // the H.261 picture clock
    context->framerate = AVRational{30000, 1001};
    context->gop_size = kIntraPeriod;
    context->max_b_frames = 0;
    context->thread_count = 1;
    context->qmin = kFinestQuantiser;
    context->qmax = 31;
    if ((videoBitRateControlModes & DynamicVideoQuality) != 0 && bitRateHighLimit != 0) {
        context->bit_rate = bitRateHighLimit;
        context->rc_max_rate = bitRateHighLimit;
        context->rc_buffer_size = int(bitRateHighLimit);
    } else {
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = FF_QP2LAMBDA * std::clamp(videoQuality, kFinestQuantiser, 31);
    }
    if (av->avcodec_open2(context, codec, nullptr) < 0)
        return false;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = context->width;
    frame->height = context->height;
    return av->av_frame_get_buffer(frame, 0) >= 0;
}

bool H323_H261Codec::EncodePicture()
{
    DWORD timestamp = 0;
    if (!ReadPicture(picture.data(), timestamp))
        return false;
    if (lastPts < 0)
        firstTimestamp = timestamp;
    int64_t pts = int64_t(DWORD(timestamp - firstTimestamp)) / 3003; // 90 kHz to 30000/1001
    pts = std::max(pts, lastPts + 1);
    if (av->av_frame_make_writable(frame) < 0)
        return false;
    const BYTE *plane = picture.data();
    for (int p = 0; p < 3; p++) {
        int w = p == 0 ? frame->width : frame->width / 2;
        int h = p == 0 ? frame->height : frame->height / 2;
        for (int row = 0; row < h; row++)
            std::memcpy(frame->data[p] + row * frame->linesize[p], plane + row * w, size_t(w));
        plane += w * h;
    }
    frame->pts = pts;
    frame->pict_type = intraRequested.exchange(false) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (context->flags & AV_CODEC_FLAG_QSCALE)
        frame->quality = context->global_quality;
    lastPts = pts;
    if (av->avcodec_send_frame(context, frame) < 0)
        return false;
    while (av->avcodec_receive_packet(context, packet) == 0) {
        for (auto &payload : h323::h261::Packetise(packet->data, size_t(packet->size), kTargetPayload)) {
            if (payload.size() > MaxPayloadSize) {
                PTRACE(2, "H261\tGOB of " << payload.size() << " bytes dropped");
                continue;
            }
            payloads.push_back(std::move(payload));
        }
        av->av_packet_unref(packet);
    }
    pictureTimestamp = timestamp;
    return true;
}

BOOL H323_H261Codec::Read(BYTE *buffer, unsigned &length, RTP_DataFrame &rtpFrame)
{
    length = 0;
    if (direction != Encoder || failed)
        return FALSE;
    if (context == nullptr) {
        picture.resize(size_t(frameWidth) * frameHeight * 3 / 2);
        if (!OpenEncoder()) {
            PTRACE(1, "H261\tcannot open the encoder for " << frameWidth << "x" << frameHeight);
            FreeContext();
            failed = true;
            return FALSE;
        }
    }
    while (payloads.empty())
        if (!EncodePicture())
            return FALSE;
    const std::vector<uint8_t> &payload = payloads.front();
    std::memcpy(buffer, payload.data(), payload.size());
    length = unsigned(payload.size());
    payloads.pop_front();
    rtpFrame.SetMarker(payloads.empty());
    rtpFrame.SetTimestamp(pictureTimestamp);
    return PacePacket(length);
}

bool H323_H261Codec::OpenDecoder()
{
    if ((av = h323::AvCodec()) == nullptr)
        return false;
    const AVCodec *codec = av->avcodec_find_decoder(AV_CODEC_ID_H261);
    context = codec != nullptr ? av->avcodec_alloc_context3(codec) : nullptr;
    frame = av->av_frame_alloc();
    packet = av->av_packet_alloc();
    if (context == nullptr || frame == nullptr || packet == nullptr)
        return false;
    context->thread_count = 1;
    return av->avcodec_open2(context, codec, nullptr) >= 0;
}

bool H323_H261Codec::DecodePicture()
{
    std::vector<uint8_t> data = depacketiser.Picture();
    depacketiser.Clear();
    data.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    packet->data = data.data();
    packet->size = int(data.size() - AV_INPUT_BUFFER_PADDING_SIZE);
    int sent = av->avcodec_send_packet(context, packet);
    packet->data = nullptr;
    packet->size = 0;
    if (sent < 0)
        return true; // a damaged picture is dropped
    bool shown = true;
    while (av->avcodec_receive_frame(context, frame) == 0) {
        unsigned w = unsigned(frame->width), h = unsigned(frame->height);
        if (frame->format == AV_PIX_FMT_YUV420P && w > 0 && h > 0) {
            picture.resize(size_t(w) * h * 3 / 2);
            BYTE *plane = picture.data();
            for (int p = 0; p < 3; p++) {
                unsigned pw = p == 0 ? w : w / 2, ph = p == 0 ? h : h / 2;
                for (unsigned row = 0; row < ph; row++)
                    std::memcpy(plane + row * pw, frame->data[p] + row * frame->linesize[p], pw);
                plane += pw * ph;
            }
            frameWidth = w;
            frameHeight = h;
            shown = ShowPicture(picture.data(), w, h) && shown;
        }
        av->av_frame_unref(frame);
    }
    return shown;
}

BOOL H323_H261Codec::Write(const BYTE *buffer, unsigned length, const RTP_DataFrame &rtpFrame,
                           unsigned &written)
{
    written = length; // a payload is taken whole
    if (direction != Decoder)
        return FALSE;
    PWaitAndSignal lock(rawChannelMutex);
    if (rawDataChannel == nullptr || length == 0)
        return TRUE;
    if (context == nullptr && !failed && !OpenDecoder()) {
        PTRACE(1, "H261\tcannot open the decoder");
        FreeContext();
        failed = true;
    }
    if (failed)
        return TRUE;
    WORD sequence = rtpFrame.GetSequenceNumber();
    bool lost = haveSequence && sequence != expectedSequence;
    haveSequence = true;
    expectedSequence = WORD(sequence + 1);
    DWORD timestamp = rtpFrame.GetTimestamp();
    // A new timestamp ends a picture whose marker went missing.
    if (!depacketiser.Empty() && timestamp != gatheringTimestamp && !DecodePicture())
        return FALSE;
    gatheringTimestamp = timestamp;
    depacketiser.Add(buffer, length, lost);
    if (rtpFrame.GetMarker() && !depacketiser.Empty())
        return DecodePicture() ? TRUE : FALSE;
    return TRUE;
}
