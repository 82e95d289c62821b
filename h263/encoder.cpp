// H263Encoder: frames in, RFC 2190 payloads out.
#include "h263/encoder.h"

#include "h263/packetiser.h"
#include "h263/print.h"

#include <cstring>
#include <new>

namespace {

constexpr int kMinBitBufferBytes = 125000;

/** Bytes that a picture can take at most: every coefficient of every block as an escape. */
size_t worst_case_bytes(int width, int height)
{
    size_t mbs = static_cast<size_t>(width / 16) * static_cast<size_t>(height / 16);
    size_t bits_per_mb = 64 + 6 * (8 + 64 * 22);
    size_t bytes = (mbs * bits_per_mb + static_cast<size_t>(height / 16) * 40 + 200) / 8;
    return bytes < kMinBitBufferBytes ? kMinBitBufferBytes : bytes;
}

} // namespace

H263Encoder::H263Encoder(int, int)
{
    Init();
}

H263Encoder::~H263Encoder() = default;

void H263Encoder::Init()
{
    transmitter_ = std::make_unique<Transmitter>();
    frame_ = std::make_unique<VideoFrame>(352, 288);
    frame_->ts = 0;
    for (auto &s : stores_)
        s.assign(1, 0);
    mb_info_.type.assign(1, 0);
    mb_info_.mvx.assign(1, 0);
    mb_info_.mvy.assign(1, 0);
    mb_info_.pmvx.assign(1, 0);
    mb_info_.pmvy.assign(1, 0);
    mb_start_.assign(2, 0);
    mb_quant_.assign(1, 0);
    allocate_bit_buffer(kMinBitBufferBytes);
    quant_ = 10;
    effort_ = 3;
}

void H263Encoder::SetSize(int width, int height)
{
    width_ = width;
    height_ = height;
    if (frame_)
        frame_->SetSize(width, height);
}

uint8_t *H263Encoder::GetFramePtr()
{
    return frame_ ? frame_->frameptr : nullptr;
}

int H263Encoder::ProcessOneFrame()
{
    return Consume(frame_.get());
}

void H263Encoder::allocate_bit_buffer(size_t bytes)
{
    bit_buffer_.reset(static_cast<uint8_t *>(std::calloc(bytes, 1)));
    if (!bit_buffer_)
        throw std::bad_alloc();
    bit_buffer_bytes_ = bytes;
    bits_.buffer = bit_buffer_.get();
    bits_.capacity = static_cast<int>(bytes * 8);
    bits_.reset();
}

void H263Encoder::allocate_stores(int width, int height)
{
    size_t bytes = static_cast<size_t>(width) * height * 3 / 2;
    stores_[0].assign(bytes, 0);            // reference
    stores_[1].assign(bytes, 0);            // previous source
    stores_[2].resize(bytes);               // reconstruction
    reference_ = 0;
    reconstruction_ = 2;
    size_t mbs = static_cast<size_t>(width / 16) * static_cast<size_t>(height / 16);
    if (mbs == 0)
        mbs = 1;
    mb_info_.type.assign(mbs, 0);
    mb_info_.mvx.assign(mbs, 0);
    mb_info_.mvy.assign(mbs, 0);
    mb_info_.pmvx.assign(mbs, 0);
    mb_info_.pmvy.assign(mbs, 0);
    mb_start_.assign(mbs + 1, 0);
    mb_quant_.assign(mbs, 0);
    size_t need = worst_case_bytes(width, height);
    if (need > bit_buffer_bytes_)
        allocate_bit_buffer(need);
    store_width_ = width;
    store_height_ = height;
    first_picture_done_ = false;
}

int H263Encoder::Consume(const VideoFrame *frame)
{
    if (!frame || !frame->frameptr)
        return 0;
    if (frame->width != width_ || frame->height != height_)
        SetSize(frame->width, frame->height);
    int w = frame->width, h = frame->height;
    int k = h263::rows_per_gob(w, h);
    int mb_rows = h / 16;
    mb_info_.gob_columns = (w / 16) * k;
    mb_info_.gob_count = (mb_rows + k - 1) / k;
    if (w != store_width_ || h != store_height_)
        allocate_stores(w, h);

    bits_.reset();
    h263::Picture in = h263::Picture::over(frame->frameptr, w, h);
    h263::Picture prev = h263::Picture::over(stores_[1].data(), w, h);
    h263::Picture ref = h263::Picture::over(stores_[reference_].data(), w, h);
    h263::Picture recon = h263::Picture::over(stores_[reconstruction_].data(), w, h);
    int nbits = coder_.H263pictureEncodeQ(quant_, effort_, first_picture_done_ ? 1 : 0,
                                          static_cast<int>(frame->ts), 5, in, prev, ref,
                                          frame->crvec, recon, bits_, mb_start_.data(),
                                          mb_quant_.data(), mb_info_);
    if (bits_.overflow) {
        H263Printf("picture exceeds the bit buffer; not sent\n");
        nbits = 0;
    }
    if (nbits > 0) {
        std::swap(reference_, reconstruction_);
        // The previous source serves the full-pel search, which reads its luma only.
        std::memcpy(stores_[1].data(), frame->frameptr, static_cast<size_t>(w) * h);
    }
    size_t mbs = mb_quant_.size();
    mb_start_[mbs] = bits_.position;

    int total = 0;
    if (nbits > 0) {
        std::vector<h263::PacketRecord> records = h263::H263RtpPacketise(
            bit_buffer_.get(), bits_.position, mb_info_.gob_count, mb_info_.gob_columns,
            mb_start_.data(), mb_quant_.data(), mb_info_, transmitter_->MaxPacketSize());
        for (const h263::PacketRecord &r : records) {
            Transmitter::Packet *pkt = transmitter_->GetPacket();
            if (r.header_length > Transmitter::kHeaderBytes)
                H263Printf("headsize is too big!\n");
            if (r.header_length != 4)
                H263Printf("h263 header is not four bytes?\n");
            pkt->lenHdr = r.header_length;
            std::memcpy(pkt->hdr, r.header, static_cast<size_t>(r.header_length));
            if (r.data_length > Transmitter::kDataBytes - Transmitter::kDataOffset) {
                H263Printf("datasize is too big!\n");
                transmitter_->ReleasePacket(pkt);
                continue;
            }
            pkt->lenBuf = r.data_length;
            std::memcpy(pkt->data + Transmitter::kDataOffset, r.data,
                        static_cast<size_t>(r.data_length));
            transmitter_->StorePacket(pkt);
            total += r.header_length + r.data_length;
        }
        first_picture_done_ = true;
    }
    return total;
}

void H263Encoder::ReadOnePacket(uint8_t *buffer, unsigned &length)
{
    length = 0;
    Transmitter::Packet *pkt = transmitter_ ? transmitter_->TakePacket() : nullptr;
    if (!pkt)
        return;
    std::memcpy(buffer, pkt->hdr, static_cast<size_t>(pkt->lenHdr));
    std::memcpy(buffer + pkt->lenHdr, pkt->data + Transmitter::kDataOffset,
                static_cast<size_t>(pkt->lenBuf));
    length = static_cast<unsigned>(pkt->lenHdr + pkt->lenBuf);
    transmitter_->ReleasePacket(pkt);
}
