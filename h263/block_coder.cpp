// Block coding of the encoder.
#include "h263/block_coder.h"

#include "h263/cpu.h"
#include "h263/dsp.h"
#include "h263/dsp_avx2.h"
#include "h263/tables.h"

#include <cstdlib>
#include <emmintrin.h>

namespace h263 {

namespace {

/** The levels at the set bits of a raster mask moved to their scan positions. */
template <typename Level>
inline void scan_from_mask(const Level *levels, uint64_t mask, BlockLevels &out)
{
    uint64_t scan = 0;
    for (uint64_t m = mask; m; m &= m - 1) {
        const int raster = __builtin_ctzll(m), pos = kScanPosition[raster];
        scan |= 1ull << pos;
        out.scan[pos] = static_cast<int16_t>(levels[raster]);
    }
    out.nonzero = scan;
    out.last = scan ? 63 - __builtin_clzll(scan) : -1;
}

/** The non-zero levels of a raster block into scan order from position first. */
void scan_levels(const int16_t *levels, int first, BlockLevels &out)
{
    // The non-zero raster positions as a bit mask, then each moved to its scan position.
    uint64_t mask = 0;
    for (int r = 0; r < 8; r++) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(levels + 8 * r));
        const __m128i zero = _mm_cmpeq_epi16(v, _mm_setzero_si128());
        const int nz = ~_mm_movemask_epi8(_mm_packs_epi16(zero, zero)) & 0xff;
        mask |= static_cast<uint64_t>(nz) << (8 * r);
    }
    if (first)
        mask &= ~1ull;
    scan_from_mask(levels, mask, out);
}

/** The exact path: DCT, quantiser, dequantiser and inverse DCT of blk into out (64 values). */
bool exact_levels(const Quantiser &q, bool intra, const int32_t *blk, int16_t *out,
                  BlockLevels &levels)
{
    int32_t coef[64];
    int16_t raster[64];
    fdct_exact(blk, coef);
    bool coded;
    if (intra) {
        coded = q.quantise_intra(coef, raster);
        q.dequantise_intra(raster, coded, out);
    } else {
        coded = q.quantise_inter(coef, raster);
        q.dequantise_inter(raster, coded, out);
    }
    idct(out);
    levels.scan[0] = raster[0];
    scan_levels(raster, intra ? 1 : 0, levels);
    return coded;
}

/** Level of the fast estimate's coefficient at raster position i (0, 1 or 8). */
inline int fast_level(const Quantiser &q, bool intra, int i, int c)
{
    if (intra && i == 0) {
        int d = c / 8;
        return d < 1 ? 1 : (d > 254 ? 254 : d);
    }
    return q.quant_level(intra ? c : c - (q.q() >> 1));
}

/** Scan levels of the fast estimate: raster 0, 1 and 8 are scan positions 0, 1 and 2. */
inline void fast_scan(bool intra, int l0, int l1, int l8, BlockLevels &out)
{
    out.scan[0] = static_cast<int16_t>(l0);
    out.scan[1] = static_cast<int16_t>(l1);
    out.scan[2] = static_cast<int16_t>(l8);
    out.nonzero = (l8 ? 4u : 0u) | (l1 ? 2u : 0u) | (!intra && l0 ? 1u : 0u);
    out.last = l8 ? 2 : (l1 ? 1 : (!intra && l0 ? 0 : -1));
}

} // namespace

bool code_block_reference(const Quantiser &q, bool intra, bool exact_only, const uint8_t *src,
                          int ss, uint8_t *rec, int rs, BlockLevels &out)
{
    int32_t blk[64];
    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++)
            blk[r * 8 + c] = src[r * ss + c] - (intra ? 0 : rec[r * rs + c]);
    int16_t res[64];
    bool coded = false, done = false;
    if (!exact_only) {
        int32_t coef[64];
        fdct_fast(blk, coef);
        int l0 = fast_level(q, intra, 0, coef[0]), l1 = fast_level(q, intra, 1, coef[1]),
            l8 = fast_level(q, intra, 8, coef[8]);
        coded = (l1 | l8 | (intra ? 0 : l0)) != 0;
        for (int16_t &v : res)
            v = 0;
        if (intra)
            res[0] = static_cast<int16_t>(8 * l0);
        if (coded) {
            res[1] = static_cast<int16_t>(q.dequant(l1));
            res[8] = static_cast<int16_t>(q.dequant(l8));
            if (!intra)
                res[0] = static_cast<int16_t>(q.dequant(l0));
        }
        idct_reduced(res);
        int err = 0;
        for (int i = 0; i < 64; i += 2)
            err += std::abs(res[i] - blk[i]);
        done = 2 * err <= 40 * q.q();
        if (done)
            fast_scan(intra, l0, l1, l8, out);
    }
    if (!done)
        coded = exact_levels(q, intra, blk, res, out);
    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++)
            rec[r * rs + c] = clip_pixel(res[r * 8 + c] + (intra ? 0 : rec[r * rs + c]));
    return coded;
}

namespace {

inline __m128i load8(const uint8_t *p)
{
    return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
}

inline __m128i load16(const uint8_t *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

inline void store8(uint8_t *p, __m128i v)
{
    _mm_storel_epi64(reinterpret_cast<__m128i *>(p), v);
}

inline __m128i abs16(__m128i v)
{
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

inline int hsum32(__m128i v)
{
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(v);
}

/** The exact transform path of code_block. */
bool exact_block(const Quantiser &q, bool intra, const uint8_t *src, int ss, uint8_t *rec, int rs,
                 BlockLevels &out)
{
    const __m128i z = _mm_setzero_si128();
    alignas(16) int32_t blk[64];
    alignas(16) int16_t values[64];
    __m128i pred[8];
    for (int r = 0; r < 8; r++) {
        __m128i v = _mm_unpacklo_epi8(load8(src + r * ss), z);
        pred[r] = intra ? z : _mm_unpacklo_epi8(load8(rec + r * rs), z);
        v = _mm_sub_epi16(v, pred[r]);
        const __m128i sign = _mm_srai_epi16(v, 15);
        _mm_store_si128(reinterpret_cast<__m128i *>(blk + r * 8), _mm_unpacklo_epi16(v, sign));
        _mm_store_si128(reinterpret_cast<__m128i *>(blk + r * 8 + 4), _mm_unpackhi_epi16(v, sign));
    }
    const bool coded = exact_levels(q, intra, blk, values, out);
    // Prediction plus the block, clipped to 0..255: saturating 16-bit adds and an
    // unsigned pack give exactly that for samples 0..255 and values -256..255.
    for (int r = 0; r < 8; r++) {
        __m128i v = _mm_load_si128(reinterpret_cast<const __m128i *>(values + r * 8));
        v = _mm_adds_epi16(v, pred[r]);
        store8(rec + r * rs, _mm_packus_epi16(v, v));
    }
    return coded;
}

/**
 * exact_block with AVX2, the block in registers from the residual to the
 * reconstruction: the exact transform, then quantiser and dequantiser in one
 * pass (the arithmetic of Quantiser), the inverse transform and the sum.
 */
template <bool Intra>
__attribute__((target("avx2"))) bool exact_block_avx2(const Quantiser &q, const uint8_t *src,
                                                        int ss, uint8_t *rec, int rs,
                                                        BlockLevels &out)
{
    const __m128i z = _mm_setzero_si128();
    __m128i pred[8];
    __m256i rows[8], coef[8];
    for (int r = 0; r < 8; r++) {
        const __m128i s = _mm_unpacklo_epi8(load8(src + r * ss), z);
        pred[r] = Intra ? z : _mm_unpacklo_epi8(load8(rec + r * rs), z);
        rows[r] = _mm256_cvtepi16_epi32(_mm_sub_epi16(s, pred[r]));
    }
    avx2::fdct_exact(rows, coef);
    // level = sign(v) min(|v| / (2Q), 127) of v = c - (Q >> 1) (inter) or c (intra),
    // v within -4095..4095; value = sign(level) ((2 |level| + 1) Q - (Q even)), 0 for 0.
    // In 16 bits, rows 2i and 2i + 1 in one register: coefficients stay within 2040,
    // levels within 127 and values within 7905.
    const int quant = q.q();
    const __m256i half = _mm256_set1_epi16(static_cast<int16_t>(Intra ? 0 : quant >> 1));
    const __m256i lo = _mm256_set1_epi16(-4095), hi = _mm256_set1_epi16(4095);
    const __m256i recip = _mm256_set1_epi16(static_cast<int16_t>(q.recip16()));
    const __m128i shift = _mm_cvtsi32_si128(q.shift16());
    const __m256i top = _mm256_set1_epi16(127), one = _mm256_set1_epi16(1);
    const __m256i qv = _mm256_set1_epi16(static_cast<int16_t>(quant));
    const __m256i even = _mm256_set1_epi16((quant & 1) ? 0 : 1);
    alignas(32) int16_t levels[64];
    __m256i values[8];
    __m256i zeros[4];
    for (int i = 0; i < 4; i++) {
        const __m256i c = avx2::pack_rows(coef[2 * i], coef[2 * i + 1]);
        const __m256i v = _mm256_min_epi16(_mm256_max_epi16(_mm256_sub_epi16(c, half), lo), hi);
        const __m256i l = _mm256_min_epi16(
            _mm256_srl_epi16(_mm256_mulhi_epu16(_mm256_abs_epi16(v), recip), shift), top);
        zeros[i] = _mm256_cmpeq_epi16(l, _mm256_setzero_si256());
        const __m256i odd = _mm256_add_epi16(_mm256_add_epi16(l, l), one);    // 2 |level| + 1
        const __m256i d =
            _mm256_andnot_si256(zeros[i], _mm256_sub_epi16(_mm256_mullo_epi16(odd, qv), even));
        _mm256_store_si256(reinterpret_cast<__m256i *>(levels + 16 * i), _mm256_sign_epi16(l, v));
        const __m256i value = _mm256_sign_epi16(d, v);
        values[2 * i] = _mm256_cvtepi16_epi32(_mm256_castsi256_si128(value));
        values[2 * i + 1] = _mm256_cvtepi16_epi32(_mm256_extracti128_si256(value, 1));
    }
    // The zero flags of four rows as bytes in raster order, then as bits.
    uint64_t mask = 0;
    for (int i = 0; i < 4; i += 2) {
        const __m256i bytes =
            _mm256_permute4x64_epi64(_mm256_packs_epi16(zeros[i], zeros[i + 1]), 0xd8);
        const uint32_t zero = static_cast<uint32_t>(_mm256_movemask_epi8(bytes));
        mask |= static_cast<uint64_t>(~zero) << (32 * (i / 2));
    }
    if (Intra) {
        // DC: c / 8 truncated toward zero, limited to 1..254, reconstructed as 8 d.
        int d = _mm256_cvtsi256_si32(coef[0]) / 8;
        d = d < 1 ? 1 : (d > 254 ? 254 : d);
        levels[0] = static_cast<int16_t>(d);
        values[0] = _mm256_blend_epi32(values[0], _mm256_set1_epi32(8 * d), 1);
        mask &= ~1ull;
    }
    avx2::idct(values);
    // Prediction plus the block, clipped to 0..255, two rows at a time.
    for (int r = 0; r < 8; r += 2) {
        const __m256i p = _mm256_inserti128_si256(_mm256_castsi128_si256(pred[r]), pred[r + 1], 1);
        const __m256i v = _mm256_adds_epi16(avx2::pack_rows(values[r], values[r + 1]), p);
        const __m256i b = _mm256_packus_epi16(v, v);
        store8(rec + r * rs, _mm256_castsi256_si128(b));
        store8(rec + (r + 1) * rs, _mm256_extracti128_si256(b, 1));
    }
    out.scan[0] = levels[0];
    scan_from_mask(levels, mask, out);
    return mask != 0;
}

/** The exact transform path, with AVX2 where the processor has it. */
template <bool Intra>
inline bool exact_path(const Quantiser &q, const uint8_t *src, int ss, uint8_t *rec, int rs,
                       BlockLevels &out)
{
    return avx2_kernels() ? exact_block_avx2<Intra>(q, src, ss, rec, rs, out)
                  : exact_block(q, Intra, src, ss, rec, rs, out);
}

} // namespace

namespace {

/** What the fast estimate needs of a block's first pass: border sums and the uncoded error. */
struct BorderSums {
    int top, bottom, left, right;   ///< sums of source minus prediction along each border
    int err;                        ///< |source - prediction| over every second sample (inter)
};

/** The first pass of the fast estimate over one block. */
template <bool Intra>
BorderSums border_sums(const uint8_t *src, int ss, const uint8_t *rec, int rs)
{
    const __m128i z = _mm_setzero_si128(), even = _mm_set1_epi16(0x00ff);
    __m128i cols = z, err = z;
    BorderSums b;
    for (int r = 0; r < 8; r++) {
        const __m128i s = load8(src + r * ss);
        const __m128i p = Intra ? z : load8(rec + r * rs);
        cols = _mm_add_epi16(cols, _mm_sub_epi16(_mm_unpacklo_epi8(s, z), _mm_unpacklo_epi8(p, z)));
        if (!Intra)
            err = _mm_add_epi64(err, _mm_sad_epu8(_mm_and_si128(s, even), _mm_and_si128(p, even)));
        if (r == 0 || r == 7) {
            const int sum = _mm_cvtsi128_si32(_mm_sad_epu8(s, z)) -
                            (Intra ? 0 : _mm_cvtsi128_si32(_mm_sad_epu8(p, z)));
            (r == 0 ? b.top : b.bottom) = sum;
        }
    }
    b.left = static_cast<int16_t>(_mm_extract_epi16(cols, 0));
    b.right = static_cast<int16_t>(_mm_extract_epi16(cols, 7));
    b.err = _mm_cvtsi128_si32(err);
    return b;
}

/**
 * The first pass of two inter blocks at once, one in each half of the
 * registers: the same sums as border_sums<false> of each. Adjacent: b lies
 * right beside a (the luma blocks of a macroblock), so a row of both is one load.
 */
template <bool Adjacent>
void border_sums_pair(const BlockPlace &a, const BlockPlace &b, BorderSums out[2])
{
    const __m128i z = _mm_setzero_si128(), even = _mm_set1_epi16(0x00ff);
    __m128i cols_a = z, cols_b = z, err = z, top = z, bottom = z;
    for (int r = 0; r < 8; r++) {
        const __m128i s =
            Adjacent ? load16(a.src + r * a.stride)
                     : _mm_unpacklo_epi64(load8(a.src + r * a.stride), load8(b.src + r * b.stride));
        const __m128i p =
            Adjacent ? load16(a.rec + r * a.stride)
                     : _mm_unpacklo_epi64(load8(a.rec + r * a.stride), load8(b.rec + r * b.stride));
        const __m128i ds_lo = _mm_sub_epi16(_mm_unpacklo_epi8(s, z), _mm_unpacklo_epi8(p, z));
        const __m128i ds_hi = _mm_sub_epi16(_mm_unpackhi_epi8(s, z), _mm_unpackhi_epi8(p, z));
        cols_a = _mm_add_epi16(cols_a, ds_lo);
        cols_b = _mm_add_epi16(cols_b, ds_hi);
        err = _mm_add_epi64(err, _mm_sad_epu8(_mm_and_si128(s, even), _mm_and_si128(p, even)));
        if (r == 0 || r == 7)
            (r == 0 ? top : bottom) = _mm_sub_epi64(_mm_sad_epu8(s, z), _mm_sad_epu8(p, z));
    }
    // The low 64 bits of each sum belong to block a, the high ones to block b.
    auto low = [](__m128i v) { return _mm_cvtsi128_si32(v); };
    auto high = [](__m128i v) { return _mm_cvtsi128_si32(_mm_srli_si128(v, 8)); };
    out[0] = {low(top), low(bottom), static_cast<int16_t>(_mm_extract_epi16(cols_a, 0)),
              static_cast<int16_t>(_mm_extract_epi16(cols_a, 7)), low(err)};
    out[1] = {high(top), high(bottom), static_cast<int16_t>(_mm_extract_epi16(cols_b, 0)),
              static_cast<int16_t>(_mm_extract_epi16(cols_b, 7)), high(err)};
}

/**
 * The first passes of the four luma blocks of a macroblock with AVX2 (src and
 * rec: the macroblock's top left samples): rows r and r + 8 in one register, so
 * that each sum of absolute differences gives one value for every block.
 */
__attribute__((target("avx2"))) void border_sums_luma_avx2(const uint8_t *src, const uint8_t *rec,
                                                           int stride, BorderSums out[4])
{
    const __m256i z = _mm256_setzero_si256(), even = _mm256_set1_epi16(0x00ff);
    // Multiplied and added in pairs, the first and last sample of every eight
    // land in 16-bit lanes 0 and 3 of each four, the others vanish.
    const __m256i ends = _mm256_set1_epi64x(0x0100000000000001);
    __m256i cols = z, err = z, top = z, bottom = z;
    for (int r = 0; r < 8; r++) {
        const uint8_t *sr = src + r * stride, *pr = rec + r * stride;
        const __m256i s = _mm256_inserti128_si256(_mm256_castsi128_si256(load16(sr)),
                                                  load16(sr + 8 * stride), 1);
        const __m256i p = _mm256_inserti128_si256(_mm256_castsi128_si256(load16(pr)),
                                                  load16(pr + 8 * stride), 1);
        cols = _mm256_add_epi16(cols, _mm256_sub_epi16(_mm256_maddubs_epi16(s, ends),
                                                       _mm256_maddubs_epi16(p, ends)));
        err = _mm256_add_epi64(err, _mm256_sad_epu8(_mm256_and_si256(s, even),
                                                    _mm256_and_si256(p, even)));
        if (r == 0 || r == 7)
            (r == 0 ? top : bottom) =
                _mm256_sub_epi64(_mm256_sad_epu8(s, z), _mm256_sad_epu8(p, z));
    }
    // 64-bit lane n of the sums belongs to block n (columns 0-7 and 8-15 of
    // rows 0-7, then of rows 8-15); 16-bit lanes 4n and 4n + 3 of cols are the
    // sums of its first and last column.
    alignas(32) int64_t t[4], b[4], e[4];
    alignas(32) int16_t c[16];
    _mm256_store_si256(reinterpret_cast<__m256i *>(t), top);
    _mm256_store_si256(reinterpret_cast<__m256i *>(b), bottom);
    _mm256_store_si256(reinterpret_cast<__m256i *>(e), err);
    _mm256_store_si256(reinterpret_cast<__m256i *>(c), cols);
    for (int n = 0; n < 4; n++)
        out[n] = {static_cast<int>(t[n]), static_cast<int>(b[n]), c[4 * n], c[4 * n + 3],
                  static_cast<int>(e[n])};
}

/** The fast estimate's three coefficients from a block's border sums. */
struct FastCoefficients {
    int c0, c1, c8;
    explicit FastCoefficients(const BorderSums &b)
        : c0((b.top + b.bottom + b.left + b.right) >> 2), c1(((b.left - b.right) * 21) >> 6),
          c8(((b.top - b.bottom) * 21) >> 6)
    {
    }
};

/** The fast estimate's error limit: 2 * err <= 40 * Q. */
inline int fast_limit(const Quantiser &q)
{
    return 20 * q.q();
}

/**
 * The fast estimate of an inter block whose three coefficients all quantise to
 * 0 (T[v] is 0 exactly for |v| < 2Q): then nothing is coded and the
 * reconstruction is the prediction already in rec, kept when the first pass's
 * error is within the limit. 1: settled so; -1: the exact transform decides;
 * 0: the coefficients are not all 0.
 */
inline int settle_uncoded(const Quantiser &q, const BorderSums &b, BlockLevels &out)
{
    const FastCoefficients f(b);
    const int quant = q.q(), half = quant >> 1;
    const unsigned span = 4u * static_cast<unsigned>(quant) - 1;
    auto zero = [&](int c) { return static_cast<unsigned>(c - half + 2 * quant - 1) < span; };
    if (!zero(f.c0) || !zero(f.c1) || !zero(f.c8))
        return 0;
    if (b.err > fast_limit(q))
        return -1;
    out.nonzero = 0;
    out.last = -1;
    return 1;
}

/** The fast estimate's levels of coefficients 0, 1 and 8 and their dequantised values. */
template <bool Intra>
struct ReducedEstimate {
    int l0, l1, l8;     ///< levels (intra: l0 the DC level)
    bool coded;
    ReducedTerms terms; ///< the reduced inverse transform of the dequantised values

    ReducedEstimate(const Quantiser &q, const FastCoefficients &f)
        : l0(fast_level(q, Intra, 0, f.c0)), l1(fast_level(q, Intra, 1, f.c1)),
          l8(fast_level(q, Intra, 8, f.c8)), coded((l1 | l8 | (Intra ? 0 : l0)) != 0),
          terms(Intra ? 8 * l0 : q.dequant(l0), coded ? q.dequant(l1) : 0,
                coded ? q.dequant(l8) : 0)
    {
    }
};

/**
 * The fast estimate of a block whose coefficients do not all quantise to 0
 * (or of an intra block): a second pass forms the reduced reconstruction and
 * its error; false when that is too large (the exact transform decides then).
 */
template <bool Intra>
bool try_reduced(const Quantiser &q, const BorderSums &b, const uint8_t *src, int ss, uint8_t *rec,
                 int rs, bool &coded, BlockLevels &out)
{
    const __m128i z = _mm_setzero_si128();
    const ReducedEstimate<Intra> e(q, FastCoefficients(b));
    __m128i spatial[8];
    idct_reduced_rows(e.terms, spatial);
    // The error is |spatial - (source - prediction)|; spatial + prediction
    // (-256..510) is also the reconstruction before clipping.
    __m128i acc = z;
    for (int r = 0; r < 8; r++) {
        if (!Intra)
            spatial[r] = _mm_add_epi16(spatial[r], _mm_unpacklo_epi8(load8(rec + r * rs), z));
        acc = _mm_add_epi16(acc, abs16(_mm_sub_epi16(spatial[r],
                                                     _mm_unpacklo_epi8(load8(src + r * ss), z))));
    }
    // Even lanes are the low halves of the 32-bit lanes; at most 8 * 511 each.
    if (hsum32(_mm_and_si128(acc, _mm_set1_epi32(0xffff))) > fast_limit(q))
        return false;
    for (int r = 0; r < 8; r++)
        store8(rec + r * rs, _mm_packus_epi16(spatial[r], spatial[r]));
    coded = e.coded;
    fast_scan(Intra, e.l0, e.l1, e.l8, out);
    return true;
}

/**
 * The fast estimate of code_block from the block's first pass; false when its
 * error is too large (the exact transform decides then).
 */
template <bool Intra>
inline bool try_fast(const Quantiser &q, const BorderSums &b, const uint8_t *src, int ss,
                     uint8_t *rec, int rs, bool &coded, BlockLevels &out)
{
    if (!Intra) {
        const int settled = settle_uncoded(q, b, out);
        if (settled) {
            coded = false;
            return settled > 0;
        }
    }
    return try_reduced<Intra>(q, b, src, ss, rec, rs, coded, out);
}

template <bool Intra>
inline bool code_one(const Quantiser &q, bool exact_only, const uint8_t *src, int ss,
                     uint8_t *rec, int rs, BlockLevels &out)
{
    bool coded;
    if (!exact_only &&
        try_fast<Intra>(q, border_sums<Intra>(src, ss, rec, rs), src, ss, rec, rs, coded, out))
        return coded;
    return exact_path<Intra>(q, src, ss, rec, rs, out);
}

template <bool Intra>
int code_six(const Quantiser &q, bool exact_only, const BlockPlace place[6], BlockLevels levels[6])
{
    int cbp = 0;
    if (!Intra && !exact_only) {
        // The first passes of the fast estimate: the luma blocks together where they
        // lie as in a picture, otherwise two blocks at a time.
        BorderSums sums[6];
        const BlockPlace &y = place[0];
        const int ys = y.stride;
        const bool luma = place[1].src == y.src + 8 && place[1].rec == y.rec + 8 &&
                          place[2].src == y.src + 8 * ys && place[2].rec == y.rec + 8 * ys &&
                          place[3].src == place[2].src + 8 && place[3].rec == place[2].rec + 8 &&
                          place[1].stride == ys && place[2].stride == ys && place[3].stride == ys;
        for (int n = luma && avx2_kernels() ? 4 : 0; n < 6; n += 2) {
            const BlockPlace &a = place[n], &b = place[n + 1];
            if (a.src + 8 == b.src && a.rec + 8 == b.rec && a.stride == b.stride)
                border_sums_pair<true>(a, b, sums + n);
            else
                border_sums_pair<false>(a, b, sums + n);
        }
        if (luma && avx2_kernels())
            border_sums_luma_avx2(y.src, y.rec, y.stride, sums);
        for (int n = 0; n < 6; n++) {
            const BlockPlace &p = place[n];
            const int settled = settle_uncoded(q, sums[n], levels[n]);
            if (settled > 0)
                continue;
            bool coded;
            if (settled < 0 ||
                !try_reduced<false>(q, sums[n], p.src, p.stride, p.rec, p.stride, coded, levels[n]))
                coded = exact_path<false>(q, p.src, p.stride, p.rec, p.stride, levels[n]);
            if (coded)
                cbp |= 32 >> n;
        }
        return cbp;
    }
    for (int n = 0; n < 6; n++)
        if (code_one<Intra>(q, exact_only, place[n].src, place[n].stride, place[n].rec,
                            place[n].stride, levels[n]))
            cbp |= 32 >> n;
    return cbp;
}

} // namespace

bool code_block(const Quantiser &q, bool intra, bool exact_only, const uint8_t *src, int ss,
                uint8_t *rec, int rs, BlockLevels &out)
{
    return intra ? code_one<true>(q, exact_only, src, ss, rec, rs, out)
                 : code_one<false>(q, exact_only, src, ss, rec, rs, out);
}

int code_macroblock(const Quantiser &q, bool intra, bool exact_only, const BlockPlace place[6],
                    BlockLevels levels[6])
{
    return intra ? code_six<true>(q, exact_only, place, levels)
                 : code_six<false>(q, exact_only, place, levels);
}

} // namespace h263
