// H263Decoder: RFC 2190 payloads in, pictures out.
#include "h263/decoder.h"

#include "h263/dec_state.h"
#include "h263/packetiser.h"
#include "h263/print.h"
#include "h263/tables.h"

#include <cstring>

H263DecoderBase::~H263DecoderBase() = default;

void H263DecoderBase::resize(int width, int height)
{
    width_ = width;
    height_ = height;
    block_count_ = width * height / 64;
    block_stamps_.assign(static_cast<size_t>(block_count_ > 0 ? block_count_ : 0), 0);
    redraw();
}

void H263DecoderBase::attach(H263Renderer *renderer)
{
    renderer->next = renderers_;
    renderers_ = renderer;
    renderer->colour = colour_;
    renderer->update_count = 0;
    redraw();
}

void H263DecoderBase::detach(H263Renderer *renderer)
{
    for (H263Renderer **p = &renderers_; *p; p = &(*p)->next) {
        if (*p == renderer) {
            *p = renderer->next;
            renderer->next = nullptr;
            return;
        }
    }
    H263Printf("detach: renderer not attached\n");
}

void H263DecoderBase::age_blocks()
{
    uint8_t old = static_cast<uint8_t>(now_ ^ 128);
    for (uint8_t &s : block_stamps_)
        if (s == old)
            s = static_cast<uint8_t>(now_);
    now_ = (now_ + 1) & 255;
}

H263Decoder::H263Decoder()
{
    header_length_ = 0;
    now_ = 1;
    colour_ = 1;
    decimation_ = 411;
    core_ = h263::decoder_core_create();
}

H263Decoder::~H263Decoder()
{
    if (core_) {
        h263::free_frame_stores(core_);
        h263::decoder_core_destroy(core_);
    }
}

void H263Decoder::info(char *text) const
{
    std::strcpy(text, "[q=42]");
}

void H263Decoder::redraw()
{
    if (!have_picture_)
        return;
    now_ = 1;
    for (uint8_t &s : block_stamps_)
        s = 1;
    for (H263Renderer *r = renderers_; r; r = r->next)
        r->update_count = 0;
    age_blocks();
}

void H263Decoder::colorhist(uint32_t *histogram) const
{
    if (!have_picture_)
        return;
    int w = width_, h = height_;
    const uint8_t *y = picture_.data(), *u = y + w * h, *v = u + w * h / 4;
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++) {
            int c = (j / 2) * (w / 2) + i / 2;
            histogram[(y[j * w + i] >> 3) << 10 | (u[c] >> 3) << 5 | (v[c] >> 3)]++;
        }
}

void H263Decoder::FinishFrame()
{
    handed_out_ = have_picture_ ? picture_.data() : nullptr;
    ready_ = false;
}

bool H263Decoder::DecodePacket(const uint8_t *payload, int length, bool, bool marker,
                               unsigned sequence)
{
    Decode(payload, length, marker, sequence);
    return true;
}

namespace {

bool begins_with(const uint8_t *p, size_t len, int bits)
{
    // 0000 0000 0000 0000 1 (17 bits) or, for 22 bits, 1000 00 after the zeros.
    if (len < 3 || p[0] || p[1])
        return false;
    return bits == 17 ? (p[2] & 0x80) != 0 : (p[2] & 0xfc) == 0x80;
}

/** Packets this far behind the next one are a stream that started again, not late ones. */
constexpr uint16_t kRestartDistance = 1024;

} // namespace

void H263Decoder::new_format(int source_format)
{
    source_format_ = source_format;
    have_picture_ = false;
    ready_ = false;
    handed_out_ = nullptr;
    carry_ = -1;
    contiguous_ = false;
    if (core_) {
        h263::free_frame_stores(core_);
        h263::decoder_core_destroy(core_);
    }
    core_ = h263::decoder_core_create();
    if (!core_)
        return;
    core_->source_format = source_format;
    if (source_format == 7) {
        // An extended PTYPE: the size comes with the picture header.
        resize(0, 0);
        return;
    }
    resize(h263::kSourceFormatWidth[source_format], h263::kSourceFormatHeight[source_format]);
    core_->fixed_size = 1;
    core_->coded_width = width_;
    core_->coded_height = height_;
    if (!h263::init_frame_stores(core_)) {
        h263::decoder_core_destroy(core_);
        core_ = nullptr;
    }
}

void H263Decoder::Decode(const uint8_t *payload, int length, bool marker, unsigned sequence)
{
    if (!payload || length < 1)
        return;
    const int f = payload[0] >> 7;
    const int header = f ? 8 : 4;   // mode A, or B (the P bit of mode C is not trusted)
    if (length < header) {
        H263Printf("payload of %d bytes is shorter than its header\n", length);
        return;
    }
    const int data_length = length - header;
    if (data_length > kSlotBytes) {
        H263Printf("payload of %d bytes is longer than %d; dropped\n", data_length, kSlotBytes);
        return;
    }
    const int src = payload[1] >> 5;
    if (src < 1 || src == 6) {
        H263Printf("illegal sourceformat %d!\n", src);
        return;
    }
    const uint16_t seq = static_cast<uint16_t>(sequence);
    const bool picture_start = begins_with(payload + header, static_cast<size_t>(data_length), 22) &&
                               ((payload[0] >> 3) & 7) == 0;
    if (synced_) {
        const uint16_t ahead = static_cast<uint16_t>(seq - next_);
        if (ahead >= 0x8000) {
            // Older than the next packet to decode: too late, or a duplicate of
            // one decoded; far older, the sender started again.
            if (ahead > 0x10000 - kRestartDistance || !picture_start)
                return;
            synced_ = false;
            break_bitstream();
        } else if (ahead >= kSlots) {
            make_room(seq);
        }
    }
    PacketSlot &slot = slots_[seq & (kSlots - 1)];
    if (slot.waiting && slot.sequence == seq)
        return;     // a duplicate of a packet that is waiting
    slot.sequence = seq;
    slot.marker = marker ? 0x80 : 0;
    slot.f = f;
    slot.sbit = (payload[0] >> 3) & 7;
    slot.ebit = payload[0] & 7;
    slot.src = src;
    std::memcpy(slot.header, payload, static_cast<size_t>(header));
    slot.length = data_length;
    slot.waiting = true;
    std::memcpy(slot.data.data(), payload + header, static_cast<size_t>(data_length));
    if (!synced_) {
        // Nothing can be decoded before a picture start; the packets that
        // arrived before it wait in their slots in case they follow it.
        if (!picture_start)
            return;
        synced_ = true;
        next_ = seq;
    }
    decode_in_order();
    if (have_picture_)
        age_blocks();
}

void H263Decoder::decode_in_order()
{
    while (holds(next_, next_) || give_up_waiting())
        decode_next();
}

void H263Decoder::decode_next()
{
    if (holds(next_, next_)) {
        PacketSlot &s = slots_[next_ & (kSlots - 1)];
        s.waiting = false;
        feed(s);
    } else {
        break_bitstream();  // the data after a gap cannot continue what came before it
    }
    next_++;
}

bool H263Decoder::give_up_waiting() const
{
    // A missing packet may come late by up to a picture: once two later
    // pictures have ended (their markers are in) it is not coming.
    int markers = 0;
    for (uint16_t d = 1; d < kSlots; d++) {
        const uint16_t seq = static_cast<uint16_t>(next_ + d);
        if (holds(seq, seq) && slots_[seq & (kSlots - 1)].marker && ++markers == 2)
            return true;
    }
    return false;
}

void H263Decoder::make_room(uint16_t sequence)
{
    // The slots hold the 64 sequence numbers from next_ on: decode or give up
    // the oldest until the new one fits.
    for (int n = 0; n < kSlots && static_cast<uint16_t>(sequence - next_) >= kSlots; n++)
        decode_next();
    if (static_cast<uint16_t>(sequence - next_) >= kSlots)
        next_ = static_cast<uint16_t>(sequence - (kSlots - 1));   // nothing older is held
    decode_in_order();
}

void H263Decoder::break_bitstream()
{
    end_bitstream();
    contiguous_ = false;
}

void H263Decoder::feed(PacketSlot &slot)
{
    const uint8_t *data = slot.data.data();
    size_t n = static_cast<size_t>(slot.length);
    // The source format is read at a picture start; a new one begins there.
    // Packets inside a picture continue it whatever their header says (some
    // senders fill the header of a picture's last packet with ones).
    const bool picture_start = slot.sbit == 0 && begins_with(data, n, 22);
    if (picture_start && slot.src != source_format_)
        new_format(slot.src);
    if (!core_ || !source_format_)
        return;
    if (picture_start)
        in_picture_ = true;
    else if (!contiguous_)
        resume_after_loss(slot);    // or the data are searched for the next start code
    // Two packets cut inside a byte both carry it, each with its own bits
    // (EBIT of the first, SBIT of the second) and the sender's other bits:
    // together they are the byte. So the last byte of a packet waits for the
    // next one. Where the two headers disagree (some senders fill a header
    // with ones), a byte the two packets share is the same in both.
    if (n) {
        uint8_t first = data[0];
        if (carry_ >= 0) {
            const int ebit = carry_ebit_, sbit = slot.sbit;
            bool shared;
            if (ebit == 0 && sbit == 0)
                shared = false;
            else if (ebit + sbit == 8)
                shared = true;
            else
                shared = carry_ == first;
            if (shared) {
                first |= static_cast<uint8_t>(carry_);
            } else {
                uint8_t last = static_cast<uint8_t>(carry_);
                decode_bytes(&last, 1, false);
            }
            carry_ = -1;
        } else if (!contiguous_) {
            // After a gap its first bits belong to a packet that is missing.
            first &= static_cast<uint8_t>(0xff >> slot.sbit);
        }
        contiguous_ = true;
        if (n > 1) {
            decode_bytes(&first, 1, false);
            decode_bytes(data + 1, n - 2, false);
            first = data[n - 1];
        }
        carry_ = first;
        carry_ebit_ = slot.ebit;
    }
    if (slot.marker)
        end_picture();
}

void H263Decoder::resume_after_loss(const PacketSlot &slot)
{
    const uint8_t *hd = slot.header;
    const int flags = slot.f ? 32 : 11;     // I, U, S, A of mode B or mode A
    if (!in_picture_) {
        // The packet with the picture header was lost: the payload header
        // tells the coding type and options of its picture.
        h263::PayloadPicture p;
        p.inter = static_cast<int>(h263::H263GetBits(hd, flags, 1));
        p.umv = static_cast<int>(h263::H263GetBits(hd, flags + 1, 1));
        p.sac = static_cast<int>(h263::H263GetBits(hd, flags + 2, 1));
        p.ap = static_cast<int>(h263::H263GetBits(hd, flags + 3, 1));
        if (!slot.f)
            p.tr = static_cast<int>(h263::H263GetBits(hd, 24, 8));
        if (!h263::begin_picture_without_header(core_, p))
            return;
        in_picture_ = true;
    }
    // A mode B packet that does not begin with a start code says which
    // macroblock it begins with, its quantiser and its vector predictors.
    if (!slot.f ||
        (slot.sbit == 0 && begins_with(slot.data.data(), static_cast<size_t>(slot.length), 17)))
        return;
    // The picture coding type must be the picture's (the packet may be of the next one).
    if (h263::H263GetBits(hd, 32, 1) != (core_->picture_type == 1 ? 1u : 0u))
        return;
    auto vector = [hd](int at) {
        const int v = static_cast<int>(h263::H263GetBits(hd, at, 7));
        return v >= 64 ? v - 128 : v;
    };
    h263::MacroblockStart at;
    at.quant = static_cast<int>(h263::H263GetBits(hd, 11, 5));  // QUANT
    at.gob = static_cast<int>(h263::H263GetBits(hd, 16, 5));    // GOBN
    at.mba = static_cast<int>(h263::H263GetBits(hd, 21, 9));    // MBA
    at.hmv1 = vector(36);
    at.vmv1 = vector(43);
    at.hmv2 = vector(50);
    at.vmv2 = vector(57);
    at.sbit = slot.sbit;
    h263::begin_at_macroblock(core_, at);
}

void H263Decoder::decode_bytes(const uint8_t *data, size_t length, bool flush)
{
    h263::H263DecState *st = core_;
    uint8_t flags_before[sizeof st->gob_decoded];
    std::memcpy(flags_before, st->gob_decoded, sizeof flags_before);
    const uint8_t *pos = data, *end = data + length;
    // A segment left complete (the picture before it was finished first) is
    // decoded by the next call.
    while (pos < end || st->seg.state == h263::Segmenter::kComplete)
        h263::decode_segments(st, pos, end, false);
    if (flush) {
        h263::decode_segments(st, pos, end, true);
        while (st->seg.state == h263::Segmenter::kComplete)
            h263::decode_segments(st, pos, end, false);
    }
    if (st->no_frame_stores)
        return;
    const int rows = st->mbs_per_gob / st->mb_cols;
    const size_t per_gob = static_cast<size_t>(rows) * width_ / 4;
    for (int g = 0; g < st->gobs_per_picture; g++) {
        if (st->gob_decoded[g] && !flags_before[g]) {
            size_t from = static_cast<size_t>(g) * per_gob;
            for (size_t b = from; b < from + per_gob && b < block_stamps_.size(); b++)
                block_stamps_[b] = static_cast<uint8_t>((now_ ^ 128) & 255);
        }
    }
}

void H263Decoder::end_bitstream()
{
    if (!core_)
        return;
    uint8_t last = static_cast<uint8_t>(carry_);
    decode_bytes(&last, carry_ >= 0 ? 1 : 0, true);
    carry_ = -1;
}

void H263Decoder::end_picture()
{
    end_bitstream();
    in_picture_ = false;
    h263::H263DecState *st = core_;
    if (st->no_frame_stores || st->skip_to_picture || st->gob_count == 0)
        return;
    h263::conceal_missing_gobs(st);
    publish();
}

void H263Decoder::publish()
{
    h263::H263DecState *st = core_;
    const int w = st->width, h = st->height;
    if (w != width_ || h != height_) {
        // A custom size is the picture's own; a standard one is the payload's.
        if (source_format_ != 7)
            return;
        have_picture_ = false;
        handed_out_ = nullptr;
        resize(w, h);
    }
    // The core's pictures carry borders; the picture handed out has none.
    picture_.resize(static_cast<size_t>(w) * h * 3 / 2);
    const int ls = w + 64, cs = w / 2 + 32;
    uint8_t *d = picture_.data();
    for (int j = 0; j < h; j++)
        std::memcpy(d + j * w, st->display[0] + j * ls, static_cast<size_t>(w));
    d += w * h;
    for (int p = 1; p <= 2; p++, d += w * h / 4)
        for (int j = 0; j < h / 2; j++)
            std::memcpy(d + j * (w / 2), st->display[p] + j * cs, static_cast<size_t>(w / 2));
    have_picture_ = true;
    ready_ = true;
    if (sink_)
        sink_(picture_.data(), w, h);
}
