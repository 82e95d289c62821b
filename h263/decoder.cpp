// H263Decoder: RFC 2190 payloads in, pictures out.
#include "h263/decoder.h"

#include "h263/dec_state.h"
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
    reassembly_.assign(1, 0);
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
    handed_out_ = nullptr;
    if (!have_picture_ || !core_ || core_->no_frame_stores || !core_->display[0])
        return;
    // The core's pictures carry borders; the picture handed out has none.
    // A picture whose size differs from the announced format is not shown:
    // callers size their buffers from width() x height().
    int w = core_->width, h = core_->height;
    if (w <= 0 || h <= 0 || w != width_ || h != height_)
        return;
    picture_.resize(static_cast<size_t>(w) * h * 3 / 2);
    int ls = w + 64, cs = w / 2 + 32;
    uint8_t *d = picture_.data();
    for (int j = 0; j < h; j++)
        std::memcpy(d + j * w, core_->display[0] + j * ls, static_cast<size_t>(w));
    d += w * h;
    for (int p = 1; p <= 2; p++, d += w * h / 4)
        for (int j = 0; j < h / 2; j++)
            std::memcpy(d + j * (w / 2), core_->display[p] + j * cs, static_cast<size_t>(w / 2));
    handed_out_ = picture_.data();
}

bool H263Decoder::DecodePacket(const uint8_t *payload, int length, bool, bool marker,
                               unsigned sequence)
{
    Decode(payload, length, marker, sequence);
    return true;
}

namespace {

bool begins_with(const uint8_t *p, int len, int bits)
{
    // 0000 0000 0000 0000 1 (17 bits) or, for 22 bits, 1000 00 after the zeros.
    if (len < 3 || p[0] || p[1])
        return false;
    return bits == 17 ? (p[2] & 0x80) != 0 : (p[2] & 0xfc) == 0x80;
}

} // namespace

void H263Decoder::new_core(int source_format)
{
    if (core_) {
        h263::free_frame_stores(core_);
        h263::decoder_core_destroy(core_);
    }
    core_ = h263::decoder_core_create();
    if (!core_)
        return;
    core_->source_format = source_format;
    core_->coded_width = h263::kSourceFormatWidth[source_format];
    core_->coded_height = h263::kSourceFormatHeight[source_format];
    if (!h263::init_frame_stores(core_)) {
        h263::decoder_core_destroy(core_);
        core_ = nullptr;
    }
}

void H263Decoder::Decode(const uint8_t *payload, int length, bool marker, unsigned sequence)
{
    if (!payload || length < 1)
        return;
    int f = payload[0] >> 7;
    int header = f ? 8 : 4;
    if (length < header) {
        H263Printf("payload of %d bytes is shorter than its header\n", length);
        return;
    }
    int data_length = length - header;
    if (data_length > kSlotBytes) {
        H263Printf("payload of %d bytes is longer than %d; dropped\n", data_length, kSlotBytes);
        return;
    }
    PacketSlot &slot = slots_[sequence & 63];
    if (slot.used && slot.sequence == static_cast<uint16_t>(sequence))
        return;     // a duplicate of a packet that is waiting or was decoded
    slot.used = true;
    slot.sequence = static_cast<uint16_t>(sequence);
    slot.marker = marker ? 0x80 : 0;
    slot.f = f;
    slot.sbit = (payload[0] >> 3) & 7;
    slot.ebit = payload[0] & 7;
    slot.src = payload[1] >> 5;
    slot.length = data_length;
    std::memcpy(slot.data.data(), payload + header, static_cast<size_t>(data_length));

    if (slot.src != source_format_) {
        if (slot.src < 1 || slot.src > 5) {
            H263Printf("illegal sourceformat %d!", slot.src);
            slot.length = 0;
            return;
        }
        if (!begins_with(slot.data.data(), slot.length, 22))
            return;
        source_format_ = slot.src;
        format_width_ = h263::kSourceFormatWidth[slot.src];
        format_height_ = h263::kSourceFormatHeight[slot.src];
        have_picture_ = false;
        handed_out_ = nullptr;
        resize(format_width_, format_height_);
        // Packets of the old format are dropped; the one announcing the new
        // format begins its first picture and is kept.
        for (PacketSlot &s : slots_)
            if (&s != &slot)
                s.length = 0;
        new_core(slot.src);
    }
    if (!core_)
        return;

    int first, count;
    while (find_run(first, count)) {
        const PacketSlot &last = slots_[(first + count - 1) & 63];
        bool flush = last.marker != 0;
        if (count == 1 && slots_[first].f == 0) {
            PacketSlot &s = slots_[first];
            size_t len = static_cast<size_t>(s.length);
            s.length = 0;
            decode_run(s.data.data(), len, flush);
            continue;
        }
        size_t total = 0;
        for (int n = 0; n < count; n++) {
            const PacketSlot &s = slots_[(first + n) & 63];
            total += static_cast<size_t>(s.length);
            if (n + 1 < count && s.ebit)
                total--;
        }
        if (total + 16 > reassembly_.size())
            reassembly_.assign(total + 16, 0x42);
        std::memset(reassembly_.data(), 0, reassembly_.size());
        size_t end = 0;
        for (int n = 0; n < count; n++) {
            PacketSlot &s = slots_[(first + n) & 63];
            const uint8_t *d = s.data.data();
            size_t len = static_cast<size_t>(s.length);
            if (s.sbit && len) {
                reassembly_[end++] |= d[0];
                d++;
                len--;
            }
            std::memcpy(reassembly_.data() + end, d, len);
            end += len;
            if (n + 1 < count && s.ebit && end > 0)
                end--;
            s.length = 0;
        }
        decode_run(reassembly_.data(), end, flush);
    }
    if (!core_->no_frame_stores && core_->display[0]) {
        have_picture_ = true;
        age_blocks();
    }
}

bool H263Decoder::find_run(int &first, int &count) const
{
    for (int i = 0; i < kSlots; i++) {
        const PacketSlot &s = slots_[i];
        if (!s.length)
            continue;
        if (s.f == 0) {
            first = i;
            count = 1;
            return true;
        }
        if (!begins_with(s.data.data(), s.length, 17))
            continue;
        int start = i;
        for (int dist = 1; dist < kSlots; dist++) {
            const PacketSlot &p = slots_[(i - dist + kSlots) & 63];
            if (!p.length || p.f != 1 ||
                p.sequence != static_cast<uint16_t>(s.sequence - dist))
                break;
            if (begins_with(p.data.data(), p.length, 17))
                start = (i - dist + kSlots) & 63;
        }
        const uint16_t seq0 = slots_[start].sequence;
        int n = 0;
        bool ended = false;
        for (; n < kSlots; n++) {
            const PacketSlot &p = slots_[(start + n) & 63];
            if (!p.used || p.sequence != static_cast<uint16_t>(seq0 + n))
                break;                      // a packet not yet received
            if (!p.length || (n > 0 && (p.f == 0 || begins_with(p.data.data(), p.length, 17)))) {
                ended = n > 0;
                break;
            }
            if (p.marker) {
                n++;
                ended = true;
                break;
            }
        }
        if (ended) {
            first = start;
            count = n;
            return true;
        }
    }
    return false;
}

void H263Decoder::decode_run(const uint8_t *data, size_t length, bool flush)
{
    h263::H263DecState *st = core_;
    uint8_t flags_before[32];
    std::memcpy(flags_before, st->gob_decoded, sizeof flags_before);
    int headers_before = st->picture_headers;
    const uint8_t *pos = data, *end = data + length;
    while (pos < end) {
        if (st->no_frame_stores && !begins_with(pos, static_cast<int>(end - pos), 22))
            break;
        h263::decode_segments(st, pos, end, flush);
    }
    if (flush && st->seg.state == h263::Segmenter::kComplete)
        h263::decode_segments(st, pos, end, false);

    const int k = format_width_ == 704 ? 2 : (format_width_ == 1408 ? 4 : 1);
    const int n_gobs = format_width_ == 176 ? 9 : 18;
    const int per_gob = k * format_width_ / 4;
    for (int g = 0; g < n_gobs && g < st->gobs_per_picture; g++) {
        if (st->gob_decoded[g] && !flags_before[g]) {
            size_t from = static_cast<size_t>(g) * per_gob;
            for (size_t b = from; b < from + per_gob && b < block_stamps_.size(); b++)
                block_stamps_[b] = static_cast<uint8_t>((now_ ^ 128) & 255);
        }
    }
    if (st->picture_headers != headers_before &&
        !st->no_frame_stores) {
        // A picture started in this run: fill what has not arrived yet from the
        // reference for display; the GOBs still to come decode into the same picture.
        for (int g = 0; g < st->gobs_per_picture; g++)
            if (!st->gob_decoded[g])
                h263::copy_gob_from_reference(st, g);
    }
}
