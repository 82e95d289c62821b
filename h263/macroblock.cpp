// Macroblock and block layers of the decoder core (ITU-T H.263 clauses 5.3, 5.4, 6.1, 6.2).
#include "h263/dec_state.h"

#include "h263/dsp.h"
#include "h263/print.h"
#include "h263/tables.h"
#include "h263/vlc_decode.h"

#include <algorithm>
#include <emmintrin.h>

namespace h263 {

namespace {

/** Values of one parsed macroblock kept until it is reconstructed. */
struct ParsedMb {
    bool valid = false;
    int x = 0, y = 0;   ///< macroblock position
    int mode = 0, cod = 0, cbp = 0, cbpb = 0, mvdbx = 0, mvdby = 0;
};

/** Zeros a block's 64 coefficients with vector stores (memset compiles to a slow string store). */
inline void clear_block(int16_t *block)
{
    const __m128i z = _mm_setzero_si128();
    for (int i = 0; i < 64; i += 8)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(block + i), z);
}

int read_mvd(H263DecState *st)
{
    const VlcEntry &e = decoder_tables().mvd[st->bits.showbits(13)];
    if (e.value < -32 || e.length == 0) {
        H263Printf("Invalid motion_vector code\n");
        st->fault = 1;
        return 0;
    }
    st->bits.flushbits(e.length);
    return e.value;
}

int motion_decode(bool long_vectors, int delta, int pred)
{
    if (delta >= 32)
        delta -= 64;
    int v = delta + pred;
    if (!long_vectors) {
        if (v > 31)
            v -= 64;
        else if (v < -32)
            v += 64;
    } else {
        if (pred < -31 && v < -63)
            v += 64;
        else if (pred > 32 && v > 63)
            v -= 64;
    }
    return v;
}

inline int median3(int a, int b, int c)
{
    int mx = a > b ? (a > c ? a : c) : (b > c ? b : c);
    int mn = a < b ? (a < c ? a : c) : (b < c ? b : c);
    return a + b + c - mx - mn;
}

/** Median predictor (px, py) of block 0..4 of the macroblock at (x, y). */
void find_pmv(const H263DecState *st, int x, int y, int block, int &px, int &py)
{
    // {macroblock dx, dy, map entry} of MV1, MV2, MV3 (clause 6.1.1 and Annex F).
    static const int cand[5][3][3] = {
        {{-1, 0, 2}, {0, -1, 3}, {1, -1, 3}},
        {{-1, 0, 2}, {0, -1, 3}, {1, -1, 3}},
        {{0, 0, 1}, {0, -1, 4}, {1, -1, 3}},
        {{-1, 0, 4}, {0, 0, 1}, {0, 0, 2}},
        {{0, 0, 3}, {0, 0, 1}, {0, 0, 2}},
    };
    const MotionField &m = st->mv;
    int vx[3], vy[3];
    for (int k = 0; k < 3; k++) {
        const int *c = cand[block][k];
        const int i = m.idx(x + c[0], y + c[1]);
        vx[k] = m.x[c[2]][i];
        vy[k] = m.y[c[2]][i];
    }
    if (vx[1] == 999 || (st->new_gob && block <= 2)) {
        // Above the picture or the GOB: MV2 and MV3 are MV1.
        px = vx[0];
        py = vy[0];
        return;
    }
    px = median3(vx[0], vx[1], vx[2]);
    py = median3(vy[0], vy[1], vy[2]);
}

void getblock(H263DecState *st, int comp, bool inter)
{
    // The reader and the last position in locals while the block is read: the
    // stores into the block and the state cannot then touch them.
    BitReader b = st->bits;
    int last_pos = st->block_last[comp];
    auto leave = [&] {
        st->bits = b;
        st->block_last[comp] = last_pos;
    };
    const DecoderTables &t = decoder_tables();
    int q = st->quant;
    if (comp >= 6) {
        q = (5 + st->dbquant) * st->quant / 4;
        q = q < 1 ? 1 : (q > 31 ? 31 : q);
    }
    // |coefficient| = q (2 |LEVEL| + 1), minus 1 when q is even.
    const int q2 = 2 * q, qadd = q - ((q & 1) ? 0 : 1);
    int16_t *blk = st->block[comp];
    for (int i = inter ? 0 : 1;;) {
        // The window holds at least 32 bits: the longest event (escape, 22 bits) fits.
        const uint32_t w = b.showbits(32);
        const VlcEntry e = t.tcoef[w >> 20];
        if (e.value < 0) {
            H263Printf("invalid Huffman code in getblock()\n");
            st->fault = 1;
            leave();
            return;
        }
        // The level as its magnitude and its sign (0, or -1 for a negative level),
        // applied without a branch: signs do not repeat in any pattern.
        int last, run, mag, sign;
        if (e.value == 0x1bff) {                        // ESCAPE
            const uint32_t f = w >> (17 - e.length);    // LAST, RUN, LEVEL: 15 bits
            last = (f >> 14) & 1;
            run = (f >> 8) & 63;
            const int level = static_cast<int8_t>(f & 255);
            sign = level < 0 ? -1 : 0;
            mag = level < 0 ? -level : level;
            b.flushbits(e.length + 15);
        } else {
            last = (e.value >> 12) & 1;
            run = (e.value >> 4) & 255;
            mag = e.value & 15;
            sign = -static_cast<int>((w >> (31 - e.length)) & 1);
            b.flushbits(e.length + 1);
        }
        i += run;
        if (i >= 64) {
            H263Printf("DCT coeff index (%d) out of bounds\n", i);
            st->fault = 1;
            leave();
            return;
        }
        const int v = q2 * mag + qadd;
        blk[kZigzag[i]] = static_cast<int16_t>((v ^ sign) - sign);
        last_pos = i;
        i++;
        if (last) {
            leave();
            return;
        }
    }
}

void store_vectors(H263DecState *st, int x, int y, int first, int last, int vx, int vy)
{
    int i = st->mv.idx(x, y);
    for (int e = first; e <= last; e++) {
        st->mv.x[e][i] = vx;
        st->mv.y[e][i] = vy;
    }
}

void reconstruct_mb(H263DecState *st, const ParsedMb &p)
{
    int bx = p.x * 16, by = p.y * 16;
    if (st->pb_frames)
        reconstruct(st, bx, by, true, p.mvdbx, p.mvdby);
    bool intra = p.mode == 3 || p.mode == 4;
    if (!intra)
        reconstruct(st, bx, by, false, 0, 0);
    for (int comp = 0; comp < 6; comp++) {
        if (intra)
            output_block(st, comp, bx, by, false);
        else if (p.cbp & (32 >> comp))
            output_block(st, comp, bx, by, true);
    }
    if (st->pb_frames) {
        for (int comp = 6; comp < 12; comp++) {
            if (p.cod == 0 || st->advanced_prediction)
                predict_b_block(st, comp - 6, bx, by, p.mode, p.mvdbx, p.mvdby);
            if (p.cbpb & (32 >> (comp - 6)))
                output_block(st, comp, bx, by, true);
        }
    }
}

/** Parses one macroblock at (x, y); false when a fault abandons the segment. */
bool parse_mb(H263DecState *st, int x, int y, ParsedMb &mb, ParsedMb &prev)
{
    BitReader &b = st->bits;
    const DecoderTables &t = decoder_tables();
    const bool p_picture = st->picture_type == 1;
    mb = ParsedMb{};
    mb.valid = true;
    mb.x = x;
    mb.y = y;
    int value;
    for (;;) {
        if (p_picture) {
            mb.cod = static_cast<int>(b.getbits1());    // COD
            if (mb.cod) {
                mb.mode = -1;
                store_vectors(st, x, y, 0, 4, 0, 0);
                break;
            }
        }
        const VlcEntry &e = (p_picture ? t.mcbpc_inter : t.mcbpc_intra)[b.showbits(9)];
        if (e.value < 0) {
            H263Printf(p_picture ? "Invalid MCBPC code\n" : "Invalid MCBPCintra code\n");
            st->fault = 1;
            return false;
        }
        b.flushbits(e.length);                          // MCBPC
        if (b.position() > b.size_bits()) {
            st->fault = 1;   // stuffing or data past the segment's end
            return false;
        }
        if (e.value != 255) {
            value = e.value;
            break;
        }
    }
    if (!mb.cod) {
        mb.mode = value & 7;
        int cbpc = value >> 4;
        if (st->pb_frames) {                            // MODB
            int modb = b.showbits(2) < 2 ? 0 : static_cast<int>(b.showbits(2)) - 1;
            b.flushbits(modb ? 2 : 1);
            if (modb == 2)
                mb.cbpb = static_cast<int>(b.getbits(6)); // CBPB
            mb.mvdbx = modb;    // remembered for the vectors below
        }
        const VlcEntry &c = t.cbpy[b.showbits(6)];
        if (c.value < 0) {
            H263Printf("Invalid CBPY code\n");
            st->fault = 1;
            return false;
        }
        b.flushbits(c.length);                          // CBPY
        bool intra = mb.mode == 3 || mb.mode == 4;
        int cbpy = intra ? c.value ^ 15 : c.value;
        mb.cbp = cbpy << 2 | cbpc;
        if (mb.mode == 2 && !st->advanced_prediction)
            H263Printf("8x8 vectors not allowed in normal prediction mode\n");
        if (mb.mode == 1 || mb.mode == 4) {
            static const int dq[4] = {-1, -2, 1, 2};
            int q = st->quant + dq[b.getbits(2)];       // DQUANT
            if (q < 1 || q > 31) {
                H263Printf("Quantizer out of range: clipping\n");
                q = q < 1 ? 1 : 31;
            }
            st->quant = q;
        }
        int modb = st->pb_frames ? mb.mvdbx : 0;
        mb.mvdbx = 0;
        int first = 0, last = -1;
        if (mb.mode == 0 || mb.mode == 1 || (st->pb_frames && intra))
            first = last = 0;
        else if (mb.mode == 2)
            first = 1, last = 4;
        for (int blk = first; blk <= last; blk++) {
            int dx = read_mvd(st);                      // MVD horizontal
            int dy = read_mvd(st);                      // MVD vertical
            if (st->fault)
                return false;
            int pmx, pmy;
            if (st->given_predictors && blk != 2 && blk != 4) {
                // After a lost packet: the predictors of block 1 (or the
                // macroblock) and of block 3 that its successor's header gives.
                pmx = blk == 3 ? st->resume.hmv2 : st->resume.hmv1;
                pmy = blk == 3 ? st->resume.vmv2 : st->resume.vmv1;
            } else {
                find_pmv(st, x, y, blk, pmx, pmy);
            }
            int vx = motion_decode(st->long_vectors, dx, pmx);
            int vy = motion_decode(st->long_vectors, dy, pmy);
            if (!st->vectors_outside) {
                int size = blk == 0 ? 16 : 8;
                int ox = (blk == 2 || blk == 4) ? 8 : 0, oy = (blk == 3 || blk == 4) ? 8 : 0;
                int px = x * 16 + vx / 2 + ox, py = y * 16 + vy / 2 + oy;
                if (px < 0 || px > st->mb_cols * 16 - size) {
                    H263Printf("mvx (%d) out of range (xpos is %d): searching for sync\n", vx, x);
                    st->fault = 1;
                } else if (py < 0 || py > st->mb_rows * 16 - size) {
                    H263Printf("mvy (%d) out of range (ypos is %d): searching for sync\n", vy, y);
                    st->fault = 1;
                }
                if (st->fault)
                    return false;
            }
            if (blk == 0)
                store_vectors(st, x, y, 0, 4, vx, vy);
            else
                store_vectors(st, x, y, blk, blk, vx, vy);
            if (blk == 1)
                store_vectors(st, x, y, 0, 0, vx, vy);
        }
        if (st->pb_frames && modb >= 1) {
            mb.mvdbx = motion_decode(st->long_vectors, read_mvd(st), 0); // MVDB
            mb.mvdby = motion_decode(st->long_vectors, read_mvd(st), 0);
        }
        if (st->fault)
            return false;
        if (intra && !st->pb_frames)
            store_vectors(st, x, y, 0, 4, 0, 0);
    }
    st->mv.mode[st->mv.idx(x, y)] = mb.mode;

    // The previous macroblock is reconstructed before this one's coefficients
    // replace its blocks (overlapped prediction needs this one's vectors).
    if (prev.valid)
        reconstruct_mb(st, prev);
    prev.valid = false;

    if (!mb.cod) {
        bool intra = mb.mode == 3 || mb.mode == 4;
        for (int comp = 0; comp < 6 && (intra || mb.cbp); comp++) {
            const bool coded = mb.cbp & (32 >> comp);
            if (intra || coded) {
                clear_block(st->block[comp]);
                st->block_last[comp] = intra ? 0 : -1;
            }
            if (intra) {
                int dc = static_cast<int>(b.getbits(8)); // INTRADC
                if (dc == 128)
                    H263Printf("Illegal DC-coeff: 1000000\n");
                if (dc == 255)
                    dc = 128;
                st->block[comp][0] = static_cast<int16_t>(dc * 8);
            }
            if (coded)
                getblock(st, comp, !intra);
            if (st->fault)
                return false;
        }
        if (st->pb_frames) {
            for (int comp = 6; comp < 12; comp++) {
                if (!(mb.cbpb & (32 >> (comp - 6))))
                    continue;
                clear_block(st->block[comp]);
                st->block_last[comp] = -1;
                getblock(st, comp, true);
                if (st->fault)
                    return false;
            }
        }
    }
    return true;
}

} // namespace

void decode_gob_macroblocks(H263DecState *st, bool run_on, int first_mb)
{
    BitReader &b = st->bits;
    const size_t end_bits = st->seg.end * 8;
    int gob = st->gob_number;
    int k = st->mbs_per_gob / st->mb_cols;
    int x = first_mb % st->mb_cols, y = gob * k + first_mb / st->mb_cols;
    // A GOB header keeps the rows above out of its first row's predictions;
    // inside a GOB, whether it had one is taken from the GOBs before.
    const bool header = !st->given_predictors;
    if (header && gob != 0)
        st->gob_headers = 1;
    st->new_gob = gob != 0 && first_mb < st->mb_cols && (header || st->gob_headers);
    int counter = first_mb, from = first_mb;
    ParsedMb prev, mb;
    for (;;) {
        if (st->fault) {
            H263Printf("Warning: A Fault Condition Has Occurred - Resyncing \n");
            st->fault = 0;
            return;
        }
        if (counter == st->mbs_per_gob || y >= st->mb_rows) {
            if (prev.valid)
                reconstruct_mb(st, prev);
            prev.valid = false;
            st->gob_count++;
            st->gob_decoded[gob] = 1;
            std::fill_n(st->mb_done.begin() + gob * st->mbs_per_gob + from, counter - from, 1);
            if (!run_on || y >= st->mb_rows || gob + 1 >= st->gobs_per_picture ||
                b.showbits(22) < 64 || b.position() > end_bits)
                return;
            gob++;  // the next GOB has no header
            counter = from = 0;
            st->new_gob = 0;
            st->gob_headers = 0;
        }
        const bool ok = parse_mb(st, x, y, mb, prev);
        st->given_predictors = 0;
        if (!ok)
            continue;
        prev = mb;
        counter++;
        if (++x == st->mb_cols) {
            x = 0;
            y++;
            st->new_gob = 0;
        }
    }
}

} // namespace h263
