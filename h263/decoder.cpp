// H263Decoder: RFC 2190 payloads in, pictures out.
#include "h263/decoder.h"

#include "h263/dec_state.h"
#include "h263/packetiser.h"
#include "h263/print.h"
#include "h263/tables.h"

#include <algorithm>
#include <cstring>

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

// How far the stream runs on (90 kHz timestamp units) before a missing packet is given up:
// as the receiver's jitter buffer, 50 ms at first, raised in steps of 10 ms beyond the
// lateness of a late packet up to 250 ms, lowered one step after 300 pictures without one.
constexpr int32_t kMinWait = 50 * 90, kMaxWait = 250 * 90, kWaitStep = 10 * 90;
constexpr int kShrinkAfter = 300;

} // namespace

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
    wait_ = kMinWait;
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
                               unsigned sequence, uint32_t timestamp)
{
    Decode(payload, length, marker, sequence, timestamp);
    return true;
}


void H263Decoder::new_format(int source_format)
{
    source_format_ = source_format;
    have_picture_ = false;
    ready_ = false;
    handed_out_ = nullptr;
    carry_ = -1;
    contiguous_ = false;
    in_picture_ = false;
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

void H263Decoder::Decode(const uint8_t *payload, int length, bool marker, unsigned sequence,
                         uint32_t timestamp)
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
    if (have_window_) {
        const uint16_t ahead = static_cast<uint16_t>(seq - next_);
        if (ahead >= 0x8000) {
            const bool picture_start =
                begins_with(payload + header, static_cast<size_t>(data_length), 22) &&
                ((payload[0] >> 3) & 7) == 0;
            if (!started_ && static_cast<uint16_t>(newest_ - seq) < kSlots) {
                next_ = seq;    // before decoding begins, older packets are waited for too
            } else if (ahead <= 0x10000 - kRestartDistance && picture_start) {
                restart();      // far older: the sender started again
            } else {
                note_lateness(timestamp);
                return;         // too late, or a duplicate of one decoded
            }
        } else if (ahead >= kSlots) {
            make_room(seq);
        }
    }
    PacketSlot &s = slot(seq);
    if (holds(seq))
        return;     // a duplicate of a packet that is waiting
    s.sequence = seq;
    s.timestamp = timestamp;
    s.marker = marker ? 0x80 : 0;
    s.f = f;
    s.sbit = (payload[0] >> 3) & 7;
    s.ebit = payload[0] & 7;
    s.src = src;
    std::memcpy(s.header, payload, static_cast<size_t>(header));
    s.length = data_length;
    s.waiting = true;
    std::memcpy(s.data.data(), payload + header, static_cast<size_t>(data_length));
    if (!have_window_) {
        have_window_ = true;
        next_ = newest_ = seq;
        newest_timestamp_ = timestamp;
    } else if (static_cast<uint16_t>(seq - newest_) < 0x8000) {
        newest_ = seq;
        newest_timestamp_ = timestamp;
    } else {
        note_lateness(timestamp);   // a newer packet overtook it
    }
    decode_in_order();
    if (have_picture_)
        age_blocks();
}

bool H263Decoder::can_begin(const PacketSlot &s) const
{
    // A picture start, or a packet that begins a GOB or says where it begins,
    // of a format known without its picture header.
    const uint8_t *data = s.data.data();
    const size_t n = static_cast<size_t>(s.length);
    if (s.sbit == 0 && begins_with(data, n, 22))
        return true;
    return (s.f || (s.sbit == 0 && begins_with(data, n, 17))) &&
           (s.src <= 5 || s.src == source_format_);
}

void H263Decoder::restart()
{
    for (PacketSlot &s : slots_)
        s.waiting = false;
    have_window_ = false;
    started_ = false;
    break_bitstream();
}

void H263Decoder::note_lateness(uint32_t timestamp)
{
    const int64_t late = static_cast<int32_t>(newest_timestamp_ - timestamp);
    if (late <= 0)
        return;
    on_time_pictures_ = 0;
    if (late + kWaitStep > wait_)
        wait_ = static_cast<int32_t>(std::min<int64_t>(late + kWaitStep, kMaxWait));
}

void H263Decoder::decode_in_order()
{
    for (;;) {
        if (!started_ && !begin_decoding())
            return;
        if (!holds(next_) && !give_up_waiting())
            return;
        decode_next();
    }
}

bool H263Decoder::begin_decoding()
{
    // Nothing before an intra picture start is needed. Anything else may be
    // preceded by older packets still to come: once they could no longer come
    // in time, decoding begins at the oldest packet it can begin with.
    const PacketSlot &oldest = slot(next_);
    if (holds(next_) && oldest.sbit == 0 &&
        begins_with(oldest.data.data(), static_cast<size_t>(oldest.length), 22) &&
        h263::H263GetBits(oldest.header, oldest.f ? 32 : 11, 1) == 0)   // I: intra
        return started_ = true;
    if (!give_up_waiting())
        return false;
    for (; next_ != static_cast<uint16_t>(newest_ + 1); next_++) {
        if (holds(next_) && can_begin(slot(next_)))
            return started_ = true;
        slot(next_).waiting = false;
    }
    return false;
}

void H263Decoder::decode_next()
{
    if (holds(next_)) {
        PacketSlot &s = slot(next_);
        s.waiting = false;
        feed(s);
    } else {
        break_bitstream();  // the data after a gap cannot continue what came before it
    }
    next_++;
}

bool H263Decoder::give_up_waiting() const
{
    // Two later pictures have ended (at a marker, or where the timestamp
    // changes after a packet without one), and the stream has run on by the
    // wait from the first packet after the gap. Timestamps that do not advance
    // say nothing of time: then the pictures alone count.
    const PacketSlot *first = nullptr, *last = nullptr;
    int ends = 0;
    for (uint16_t d = 0; d < kSlots; d++) {
        const uint16_t seq = static_cast<uint16_t>(next_ + d);
        if (!holds(seq))
            continue;
        const PacketSlot &s = slots_[seq & (kSlots - 1)];
        if (!first)
            first = &s;
        else if (!last->marker && s.timestamp != last->timestamp)
            ends++;
        ends += s.marker != 0;
        last = &s;
    }
    if (ends < 2)
        return false;
    const int32_t ran = static_cast<int32_t>(newest_timestamp_ - first->timestamp);
    return ran >= wait_ || ran <= 0;
}

void H263Decoder::make_room(uint16_t sequence)
{
    // The slots hold the kSlots sequence numbers from next_ on: decode or give up
    // the oldest until the new one fits.
    for (int n = 0; n < kSlots && static_cast<uint16_t>(sequence - next_) >= kSlots; n++) {
        if (!started_ && !(holds(next_) && can_begin(slot(next_)))) {
            slot(next_).waiting = false;
            next_++;
            continue;
        }
        started_ = true;
        decode_next();
    }
    if (static_cast<uint16_t>(sequence - next_) >= kSlots) {
        for (PacketSlot &s : slots_)
            s.waiting = false;      // nothing held is within reach
        break_bitstream();
        next_ = static_cast<uint16_t>(sequence - (kSlots - 1));
    }
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
    const bool picture_start = slot.sbit == 0 && begins_with(data, n, 22);
    // All packets of a picture share its timestamp, and the next picture
    // begins with a picture start code: where a picture's last packet (with
    // the marker) was lost, it ends at the first packet of another.
    if (in_picture_ && (picture_start || slot.timestamp != picture_timestamp_))
        end_picture();
    // The source format is read at a picture start; a new one begins there.
    // Packets inside a picture continue it whatever their header says (some
    // senders fill the header of a picture's last packet with ones). A stream
    // whose first picture start was lost takes the payload header's.
    if (picture_start ? slot.src != source_format_ : !source_format_ && slot.src <= 5)
        new_format(slot.src);
    if (!core_ || !source_format_)
        return;
    if (picture_start) {
        in_picture_ = true;
        picture_timestamp_ = slot.timestamp;
    } else if (!contiguous_) {
        resume_after_loss(slot);    // or the data are searched for the next start code
    }
    if (!in_picture_)
        return;     // a picture that cannot be decoded without its header
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
    // A payload header of another source format than the stream's says nothing
    // (some senders fill it with ones): such a packet cannot begin a picture,
    // and inside one only a start code in its data resumes decoding.
    if (slot.src != source_format_)
        return;
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
        picture_timestamp_ = slot.timestamp;
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
    // decoded by the next call. A picture the core ends by itself (at a GOB
    // it has decoded already) is handed out then.
    auto segments = [&](bool at_end) {
        const int open = st->picture_open;
        h263::decode_segments(st, pos, end, at_end);
        if (open && !st->picture_open && !st->skip_to_picture)
            publish();
    };
    while (pos < end || st->seg.state == h263::Segmenter::kComplete)
        segments(false);
    if (flush) {
        segments(true);
        while (st->seg.state == h263::Segmenter::kComplete)
            segments(false);
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
    break_bitstream();
    in_picture_ = false;
    if (++on_time_pictures_ >= kShrinkAfter) {
        on_time_pictures_ = 0;
        wait_ = std::max(kMinWait, wait_ - kWaitStep);
    }
    h263::H263DecState *st = core_;
    if (!st || st->no_frame_stores || st->skip_to_picture || !st->picture_open)
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
