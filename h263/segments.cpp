// Segments of the decoder core: start-code scanning, the segment loop and concealment.
#include "h263/dec_state.h"

#include "h263/print.h"

#include <cstring>
#include <new>

namespace h263 {

H263DecState *decoder_core_create()
{
    H263DecState *st = new (std::nothrow) H263DecState;
    if (!st)
        H263Printf("Cannot allocate Stream Buffer memory\n");
    return st;
}

void decoder_core_destroy(H263DecState *st)
{
    delete st;
}

namespace {

inline bool is_start_code(uint32_t shift)
{
    return (shift & 0xFFFF80u) == 0x80u;
}

void begin_segment(Segmenter &s, const uint8_t code[3])
{
    std::memcpy(s.buffer.data(), code, 3);
    s.write = 3;
    s.shift = 0xffffffffu;
    s.overlong = false;
    s.inside_gob = false;
    s.state = Segmenter::kCollecting;
}

void complete(H263DecState *st, size_t end)
{
    Segmenter &s = st->seg;
    s.end = end;
    s.state = Segmenter::kComplete;
    st->bits.reset(s.buffer.data(), s.write);
}

/**
 * The byte that completes the first start code ending in [pos, end): two zero
 * bytes and one with its top bit set, the zeros possibly seen before pos (the
 * low bytes of shift). end when there is none.
 */
const uint8_t *start_code_end(const uint8_t *pos, const uint8_t *end, uint32_t shift)
{
    if (pos < end && is_start_code(shift << 8 | pos[0]))
        return pos;
    if (pos + 1 < end && is_start_code(shift << 16 | static_cast<uint32_t>(pos[0]) << 8 | pos[1]))
        return pos + 1;
    // Both zeros in the data: a non-zero byte before k rules out k and k + 1.
    const size_t n = static_cast<size_t>(end - pos);
    for (size_t k = 2; k < n;) {
        if (pos[k - 1]) {
            k += 2;
        } else if (!pos[k - 2] && (pos[k] & 0x80)) {
            return pos + k;
        } else {
            k++;
        }
    }
    return end;
}

/** Appends n bytes to the segment; past the largest size the segment is marked overlong. */
void append(Segmenter &s, const uint8_t *data, size_t n)
{
    if (s.overlong)
        return;
    while (s.write + n > s.buffer.size()) {
        if (s.buffer.size() >= Segmenter::kMaxBytes) {
            s.overlong = true;
            return;
        }
        try {
            s.buffer.resize(s.buffer.size() * 2);
        } catch (const std::bad_alloc &) {
            s.overlong = true;
            return;
        }
    }
    std::memcpy(s.buffer.data() + s.write, data, n);
    s.write += n;
}

/** Collects bytes into the segment buffer until the next start code completes it. */
const uint8_t *feed(H263DecState *st, const uint8_t *pos, const uint8_t *end, bool flush)
{
    Segmenter &s = st->seg;
    for (;;) {
        if (s.state == Segmenter::kComplete)
            return pos;
        if (s.state == Segmenter::kAtStartCode)
            begin_segment(s, s.pending);
        if (s.state == Segmenter::kSearching) {
            while (pos < end) {
                s.shift = s.shift << 8 | *pos++;
                if (is_start_code(s.shift)) {
                    uint8_t code[3] = {static_cast<uint8_t>(s.shift >> 16),
                                       static_cast<uint8_t>(s.shift >> 8),
                                       static_cast<uint8_t>(s.shift)};
                    begin_segment(s, code);
                    break;
                }
            }
            if (s.state == Segmenter::kSearching)
                return pos;
        }
        // Collecting.
        while (pos < end) {
            const uint8_t *k = start_code_end(pos, end, s.shift);
            const uint8_t *stop = k < end ? k + 1 : end;
            const size_t n = static_cast<size_t>(stop - pos);
            append(s, pos, n);
            for (const uint8_t *p = n > 4 ? stop - 4 : pos; p < stop; p++)
                s.shift = s.shift << 8 | *p;
            pos = stop;
            if (k < end) {
                s.pending[0] = static_cast<uint8_t>(s.shift >> 16);
                s.pending[1] = static_cast<uint8_t>(s.shift >> 8);
                s.pending[2] = static_cast<uint8_t>(s.shift);
                if (s.overlong) {
                    H263Printf("segment longer than %zu bytes dropped\n", Segmenter::kMaxBytes);
                    s.state = Segmenter::kAtStartCode;
                    break;
                }
                // The start code's bytes stay behind the segment data, as in the stream.
                complete(st, s.write - 3);
                return pos;
            }
        }
        if (s.state == Segmenter::kAtStartCode)
            continue;
        if (flush && !s.overlong && s.write > (s.inside_gob ? 0u : 3u)) {
            s.pending[0] = s.pending[1] = s.pending[2] = 0;
            complete(st, s.write);
            return pos;
        }
        return pos;
    }
}

/** GOB number of the segment in the buffer: bits 6..2 of its third byte. */
inline int segment_gob(const H263DecState *st)
{
    return st->seg.inside_gob ? st->resume.gob : (st->seg.buffer[2] >> 2) & 31;
}

/** After a segment was used: the next one begins with the start code that ended it. */
void next_segment(H263DecState *st)
{
    Segmenter &s = st->seg;
    bool have_code = is_start_code(static_cast<uint32_t>(s.pending[0]) << 16 |
                                   static_cast<uint32_t>(s.pending[1]) << 8 | s.pending[2]);
    s.state = have_code ? Segmenter::kAtStartCode : Segmenter::kSearching;
    s.shift = 0xffffffffu;
    s.inside_gob = false;
}

bool decode_segment(H263DecState *st)
{
    if (st->seg.inside_gob) {
        // No header: the position, quantiser and predictors come from the packet's.
        const MacroblockStart &at = st->resume;
        st->bits.flushbits(at.sbit);
        st->gob_number = at.gob;
        st->quant = at.quant;
        st->given_predictors = 1;
        decode_gob_macroblocks(st, true, at.mba);
        st->given_predictors = 0;
        next_segment(st);
        return true;
    }
    int gn = segment_gob(st);
    bool ok = read_header(st) != 0;
    if (ok) {
        decode_gob_macroblocks(st, true);
    } else if (!st->no_frame_stores && !st->skip_to_picture && gn < st->gobs_per_picture) {
        copy_gob_from_reference(st, gn);
        st->gob_count++;
        st->gob_decoded[gn] = 1;
    }
    next_segment(st);
    return ok;
}

} // namespace

void conceal_missing_gobs(H263DecState *st)
{
    if (st->no_frame_stores)
        return;
    for (int y = 0; y < st->mb_rows; y++)
        for (int x = 0; x < st->mb_cols; x++) {
            uint8_t &done = st->mb_done[static_cast<size_t>(y) * st->mb_cols + x];
            if (!done)
                copy_mb_from_reference(st, x, y);
            done = 1;
        }
    std::memset(st->gob_decoded, 0, sizeof st->gob_decoded);
    st->gob_count = 0;
    st->picture_open = 0;
}

bool begin_picture_without_header(H263DecState *st, const PayloadPicture &p)
{
    if (st->no_frame_stores || st->skip_to_picture || p.sac)
        return false;
    if (st->picture_open)
        conceal_missing_gobs(st);   // the picture before ends here
    st->picture_type = p.inter;
    st->rounding_type = 0;
    if (!st->plus_header) {
        st->long_vectors = p.umv;
        st->vectors_outside = p.umv || p.ap;
        st->advanced_prediction = p.ap;
    } else if (p.inter && st->last_rounding >= 0) {
        // Encoders alternate the rounding type of P pictures or keep it: this
        // one goes on as the pictures before did.
        st->rounding_type = st->rounding_alternates ? !st->last_rounding : st->last_rounding;
        st->last_rounding = st->rounding_type;
    }
    // Without the header: no PB-frame.
    st->pb_frames = 0;
    st->trb = 0;
    if (p.tr >= 0) {
        st->prev_tr = st->tr;
        st->tr = p.tr;
    }
    st->gfid = -1;      // its first GOB header gives it
    st->awaiting_picture = 1;
    return true;
}

bool begin_at_macroblock(H263DecState *st, const MacroblockStart &at)
{
    Segmenter &s = st->seg;
    if (st->no_frame_stores || st->skip_to_picture ||
        (!st->picture_open && !st->awaiting_picture) ||
        s.state != Segmenter::kSearching || at.gob < 0 || at.gob >= st->gobs_per_picture ||
        at.mba < 0 || at.mba >= st->mbs_per_gob || at.quant < 1 || at.quant > 31 ||
        st->gob_decoded[at.gob])
        return false;
    const int first = at.gob * st->mbs_per_gob + at.mba;
    if (first >= st->mb_cols * st->mb_rows)
        return false;
    if (st->awaiting_picture)
        start_picture(st);
    // The macroblocks lost before it count as not coded for the predictions after them.
    for (int i = 0; i < first; i++) {
        if (st->mb_done[static_cast<size_t>(i)])
            continue;
        const int m = st->mv.idx(i % st->mb_cols, i / st->mb_cols);
        for (int e = 0; e < 5; e++)
            st->mv.x[e][m] = st->mv.y[e][m] = 0;
        st->mv.mode[m] = -1;
    }
    st->resume = at;
    s.write = 0;
    s.shift = 0xffffffffu;
    s.overlong = false;
    s.inside_gob = true;
    s.state = Segmenter::kCollecting;
    return true;
}

int decode_segments(H263DecState *st, const uint8_t *&pos, const uint8_t *end, bool flush)
{
    if (st->picture_open && st->gob_count == st->gobs_per_picture) {
        conceal_missing_gobs(st);   // all GOBs ended, some perhaps begun inside
        return 2;
    }
    pos = feed(st, pos, end, flush);
    if (st->seg.state != Segmenter::kComplete)
        return 0;
    int result = 1;
    for (;;) {
        int gn = segment_gob(st);
        if (gn >= 18 && gn != 31)
            H263Printf("ngob %d is larger than %d!\n", gn, 18);
        if (st->seg.inside_gob && st->gob_decoded[gn]) {
            next_segment(st);       // its GOB ended meanwhile: nothing to continue
        } else {
            if (!st->seg.inside_gob) {
                if (gn < st->gobs_per_picture && st->gob_decoded[gn]) {
                    conceal_missing_gobs(st);
                    return 2;
                }
                if (gn == 0 && st->picture_open) {
                    conceal_missing_gobs(st);
                    return 2;
                }
            }
            if (!decode_segment(st))
                result = 2;
            if (st->gob_count == st->gobs_per_picture)
                return result;
        }
        pos = feed(st, pos, end, flush);
        if (st->seg.state != Segmenter::kComplete)
            return 0;
    }
}

} // namespace h263
