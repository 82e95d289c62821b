// The 8x8 transforms with AVX2 on blocks held in registers, for callers compiled for AVX2
// (functions with target("avx2")) that keep a block in registers from one step to the next.
#pragma once

#include <immintrin.h>

namespace h263 {
namespace avx2 {

#define H263_AVX2 __attribute__((target("avx2"), always_inline)) inline

/** Eight 32-bit rows of eight into eight columns, in place. */
H263_AVX2 void transpose8_epi32(__m256i r[8])
{
    __m256i t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = _mm256_unpacklo_epi32(r[i], r[i + 1]);
        t[i + 1] = _mm256_unpackhi_epi32(r[i], r[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {
        u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
        u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
        u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
        u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
    }
    for (int i = 0; i < 4; i++) {
        r[i] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
        r[i + 4] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
    }
}

/** Four rows of four doubles into four columns. */
H263_AVX2 void transpose4_pd(const __m256d in[4], __m256d out[4])
{
    const __m256d t0 = _mm256_unpacklo_pd(in[0], in[1]), t1 = _mm256_unpackhi_pd(in[0], in[1]);
    const __m256d t2 = _mm256_unpacklo_pd(in[2], in[3]), t3 = _mm256_unpackhi_pd(in[2], in[3]);
    out[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
    out[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
    out[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
    out[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
}

/**
 * The one-dimensional DCT of the exact forward transform on four lanes at
 * once, in place (v[n] -> v[k]): the operations and their order of the scalar
 * form, so every lane rounds as it does (AVX2 alone has no fused multiply-add).
 */
H263_AVX2 void dct8_pd(__m256d v[8])
{
    constexpr double f0 = 0.7071068, f1 = 0.4903926, f2 = 0.4619398, f3 = 0.4157348,
                     f4 = 0.3535534, f5 = 0.2777851, f6 = 0.1913417, f7 = 0.0975452;
#define K(c) _mm256_set1_pd(c)
    const __m256d s0 = _mm256_add_pd(v[0], v[7]), s1 = _mm256_add_pd(v[1], v[6]);
    const __m256d s2 = _mm256_add_pd(v[2], v[5]), s3 = _mm256_add_pd(v[3], v[4]);
    const __m256d e3 = _mm256_sub_pd(v[3], v[4]), e2 = _mm256_sub_pd(v[2], v[5]);
    const __m256d e1 = _mm256_sub_pd(v[1], v[6]), e0 = _mm256_sub_pd(v[0], v[7]);
    const __m256d a0 = _mm256_add_pd(s0, s3), a1 = _mm256_add_pd(s1, s2);
    const __m256d a2 = _mm256_sub_pd(s1, s2), a3 = _mm256_sub_pd(s0, s3);
    const __m256d a5 = _mm256_mul_pd(_mm256_sub_pd(e1, e2), K(f0));
    const __m256d a6 = _mm256_mul_pd(_mm256_add_pd(e1, e2), K(f0));
    v[0] = _mm256_mul_pd(_mm256_add_pd(a0, a1), K(f4));
    v[4] = _mm256_mul_pd(_mm256_sub_pd(a0, a1), K(f4));
    v[2] = _mm256_add_pd(_mm256_mul_pd(a2, K(f6)), _mm256_mul_pd(a3, K(f2)));
    v[6] = _mm256_sub_pd(_mm256_mul_pd(a3, K(f6)), _mm256_mul_pd(a2, K(f2)));
    const __m256d c4 = _mm256_add_pd(e3, a5), c7 = _mm256_add_pd(e0, a6);
    const __m256d c5 = _mm256_sub_pd(e3, a5), c6 = _mm256_sub_pd(e0, a6);
    v[1] = _mm256_add_pd(_mm256_mul_pd(c4, K(f7)), _mm256_mul_pd(c7, K(f1)));
    v[5] = _mm256_add_pd(_mm256_mul_pd(c5, K(f3)), _mm256_mul_pd(c6, K(f5)));
    v[7] = _mm256_sub_pd(_mm256_mul_pd(c7, K(f7)), _mm256_mul_pd(c4, K(f1)));
    v[3] = _mm256_sub_pd(_mm256_mul_pd(c6, K(f3)), _mm256_mul_pd(c5, K(f5)));
#undef K
}

/**
 * The first pass of the exact forward transform (the rows' one-dimensional
 * DCTs) of eight columns of 32-bit samples (lanes are rows) into its
 * coefficients u of rows 0-3 (top[u]) and 4-7 (bottom[u]). The sums and
 * differences before the first product are exact in integers, so they are
 * formed eight lanes wide and only then converted: the doubles are the scalar
 * form's.
 */
H263_AVX2 void dct8_rows(const __m256i c[8], __m256d top[8], __m256d bottom[8])
{
    const __m256i s0 = _mm256_add_epi32(c[0], c[7]), s1 = _mm256_add_epi32(c[1], c[6]);
    const __m256i s2 = _mm256_add_epi32(c[2], c[5]), s3 = _mm256_add_epi32(c[3], c[4]);
    const __m256i e0 = _mm256_sub_epi32(c[0], c[7]), e1 = _mm256_sub_epi32(c[1], c[6]);
    const __m256i e2 = _mm256_sub_epi32(c[2], c[5]), e3 = _mm256_sub_epi32(c[3], c[4]);
    const __m256i a0 = _mm256_add_epi32(s0, s3), a1 = _mm256_add_epi32(s1, s2);
    const __m256i exact[8] = {_mm256_add_epi32(a0, a1), _mm256_sub_epi32(a0, a1),
                              _mm256_sub_epi32(s1, s2), _mm256_sub_epi32(s0, s3),
                              _mm256_sub_epi32(e1, e2), _mm256_add_epi32(e1, e2), e0, e3};
    constexpr double f0 = 0.7071068, f1 = 0.4903926, f2 = 0.4619398, f3 = 0.4157348,
                     f4 = 0.3535534, f5 = 0.2777851, f6 = 0.1913417, f7 = 0.0975452;
#define K(c) _mm256_set1_pd(c)
    for (int half = 0; half < 2; half++) {
        __m256d d[8];
        for (int i = 0; i < 8; i++)
            d[i] = _mm256_cvtepi32_pd(half ? _mm256_extracti128_si256(exact[i], 1)
                                           : _mm256_castsi256_si128(exact[i]));
        // d: a0 + a1, a0 - a1, a2, a3, e1 - e2, e1 + e2, e0, e3 of dct8_pd.
        __m256d *v = half ? bottom : top;
        const __m256d a5 = _mm256_mul_pd(d[4], K(f0)), a6 = _mm256_mul_pd(d[5], K(f0));
        v[0] = _mm256_mul_pd(d[0], K(f4));
        v[4] = _mm256_mul_pd(d[1], K(f4));
        v[2] = _mm256_add_pd(_mm256_mul_pd(d[2], K(f6)), _mm256_mul_pd(d[3], K(f2)));
        v[6] = _mm256_sub_pd(_mm256_mul_pd(d[3], K(f6)), _mm256_mul_pd(d[2], K(f2)));
        const __m256d c4 = _mm256_add_pd(d[7], a5), c7 = _mm256_add_pd(d[6], a6);
        const __m256d c5 = _mm256_sub_pd(d[7], a5), c6 = _mm256_sub_pd(d[6], a6);
        v[1] = _mm256_add_pd(_mm256_mul_pd(c4, K(f7)), _mm256_mul_pd(c7, K(f1)));
        v[5] = _mm256_add_pd(_mm256_mul_pd(c5, K(f3)), _mm256_mul_pd(c6, K(f5)));
        v[7] = _mm256_sub_pd(_mm256_mul_pd(c7, K(f7)), _mm256_mul_pd(c4, K(f1)));
        v[3] = _mm256_sub_pd(_mm256_mul_pd(c6, K(f3)), _mm256_mul_pd(c5, K(f5)));
    }
#undef K
}

/**
 * The exact forward transform of eight rows of 32-bit samples into eight rows
 * of coefficients (truncated toward zero): the rows' transforms (lanes are
 * rows), then the columns' four columns at a time (lanes are columns).
 */
H263_AVX2 void fdct_exact(const __m256i rows[8], __m256i coef[8])
{
    __m256i r[8];
    for (int i = 0; i < 8; i++)
        r[i] = rows[i];
    transpose8_epi32(r);                // r[x]: sample x of every row
    __m256d top[8], bottom[8];          // top[u]: coefficient u of rows 0-3
    dct8_rows(r, top, bottom);
    __m256d left[8], right[8];          // columns 0-3 and 4-7, element y of each
    transpose4_pd(top, left);
    transpose4_pd(top + 4, right);
    transpose4_pd(bottom, left + 4);
    transpose4_pd(bottom + 4, right + 4);
    dct8_pd(left);                      // left[v]: coefficients (v, 0..3)
    dct8_pd(right);
    for (int v = 0; v < 8; v++)
        coef[v] = _mm256_set_m128i(_mm256_cvttpd_epi32(right[v]), _mm256_cvttpd_epi32(left[v]));
}

/** (181 * v + 128) >> 8 with a 64-bit product, as the scalar form computes it. */
H263_AVX2 __m256i rot181(__m256i v)
{
    const __m256i k = _mm256_set1_epi64x(181), r = _mm256_set1_epi64x(128);
    __m256i even = _mm256_srli_epi64(_mm256_add_epi64(_mm256_mul_epi32(v, k), r), 8);
    __m256i odd = _mm256_srli_epi64(
        _mm256_add_epi64(_mm256_mul_epi32(_mm256_srli_epi64(v, 32), k), r), 8);
    return _mm256_blend_epi32(even, _mm256_slli_epi64(odd, 32), 0xaa);
}

/** The low 16 bits of each value, sign-extended (the scalar form stores into int16_t). */
H263_AVX2 __m256i low16(__m256i v)
{
    return _mm256_srai_epi32(_mm256_slli_epi32(v, 16), 16);
}

/** >> 14 of eight values clipped to -256..255. */
H263_AVX2 __m256i clipped14(__m256i v)
{
    return _mm256_min_epi32(_mm256_max_epi32(_mm256_srai_epi32(v, 14), _mm256_set1_epi32(-256)),
                            _mm256_set1_epi32(255));
}

/**
 * The integer inverse DCT (Chen-Wang butterflies) of eight rows of 32-bit
 * values (each within 16 bits) in place, outputs clipped to -256..255: eight
 * rows (then columns) at once, one per lane, with the arithmetic of the scalar
 * form, which keeps the rows' results in 16 bits.
 */
H263_AVX2 void idct(__m256i r[8])
{
    constexpr int W1 = 2841, W2 = 2676, W3 = 2408, W5 = 1609, W6 = 1108, W7 = 565;
#define MUL(c, v) _mm256_mullo_epi32(_mm256_set1_epi32(c), v)
#define ADD _mm256_add_epi32
#define SUB _mm256_sub_epi32
    transpose8_epi32(r);  // r[k]: coefficient k of every row
    {
        __m256i x0 = ADD(_mm256_slli_epi32(r[0], 11), _mm256_set1_epi32(128));
        __m256i x1 = _mm256_slli_epi32(r[4], 11), x2 = r[6], x3 = r[2], x4 = r[1], x5 = r[7],
                x6 = r[5], x7 = r[3];
        __m256i x8 = MUL(W7, ADD(x4, x5));
        x4 = ADD(x8, MUL(W1 - W7, x4));
        x5 = SUB(x8, MUL(W1 + W7, x5));
        x8 = MUL(W3, ADD(x6, x7));
        x6 = SUB(x8, MUL(W3 - W5, x6));
        x7 = SUB(x8, MUL(W3 + W5, x7));
        x8 = ADD(x0, x1);
        x0 = SUB(x0, x1);
        x1 = MUL(W6, ADD(x3, x2));
        x2 = SUB(x1, MUL(W2 + W6, x2));
        x3 = ADD(x1, MUL(W2 - W6, x3));
        x1 = ADD(x4, x6);
        x4 = SUB(x4, x6);
        x6 = ADD(x5, x7);
        x5 = SUB(x5, x7);
        x7 = ADD(x8, x3);
        x8 = SUB(x8, x3);
        x3 = ADD(x0, x2);
        x0 = SUB(x0, x2);
        x2 = rot181(ADD(x4, x5));
        x4 = rot181(SUB(x4, x5));
        r[0] = low16(_mm256_srai_epi32(ADD(x7, x1), 8));
        r[1] = low16(_mm256_srai_epi32(ADD(x3, x2), 8));
        r[2] = low16(_mm256_srai_epi32(ADD(x0, x4), 8));
        r[3] = low16(_mm256_srai_epi32(ADD(x8, x6), 8));
        r[4] = low16(_mm256_srai_epi32(SUB(x8, x6), 8));
        r[5] = low16(_mm256_srai_epi32(SUB(x0, x4), 8));
        r[6] = low16(_mm256_srai_epi32(SUB(x3, x2), 8));
        r[7] = low16(_mm256_srai_epi32(SUB(x7, x1), 8));
    }
    transpose8_epi32(r);  // r[i]: row i again, lanes are the columns
    {
        const __m256i four = _mm256_set1_epi32(4);
        __m256i x0 = ADD(_mm256_slli_epi32(r[0], 8), _mm256_set1_epi32(8192));
        __m256i x1 = _mm256_slli_epi32(r[4], 8), x2 = r[6], x3 = r[2], x4 = r[1], x5 = r[7],
                x6 = r[5], x7 = r[3];
        __m256i x8 = ADD(MUL(W7, ADD(x4, x5)), four);
        x4 = _mm256_srai_epi32(ADD(x8, MUL(W1 - W7, x4)), 3);
        x5 = _mm256_srai_epi32(SUB(x8, MUL(W1 + W7, x5)), 3);
        x8 = ADD(MUL(W3, ADD(x6, x7)), four);
        x6 = _mm256_srai_epi32(SUB(x8, MUL(W3 - W5, x6)), 3);
        x7 = _mm256_srai_epi32(SUB(x8, MUL(W3 + W5, x7)), 3);
        x8 = ADD(x0, x1);
        x0 = SUB(x0, x1);
        x1 = ADD(MUL(W6, ADD(x3, x2)), four);
        x2 = _mm256_srai_epi32(SUB(x1, MUL(W2 + W6, x2)), 3);
        x3 = _mm256_srai_epi32(ADD(x1, MUL(W2 - W6, x3)), 3);
        x1 = ADD(x4, x6);
        x4 = SUB(x4, x6);
        x6 = ADD(x5, x7);
        x5 = SUB(x5, x7);
        x7 = ADD(x8, x3);
        x8 = SUB(x8, x3);
        x3 = ADD(x0, x2);
        x0 = SUB(x0, x2);
        x2 = rot181(ADD(x4, x5));
        x4 = rot181(SUB(x4, x5));
        r[0] = clipped14(ADD(x7, x1));
        r[1] = clipped14(ADD(x3, x2));
        r[2] = clipped14(ADD(x0, x4));
        r[3] = clipped14(ADD(x8, x6));
        r[4] = clipped14(SUB(x8, x6));
        r[5] = clipped14(SUB(x0, x4));
        r[6] = clipped14(SUB(x3, x2));
        r[7] = clipped14(SUB(x7, x1));
    }
#undef MUL
#undef ADD
#undef SUB
}

/** Two rows of eight 32-bit values (each within 16 bits) as one register of 16-bit values. */
H263_AVX2 __m256i pack_rows(__m256i a, __m256i b)
{
    return _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xd8);
}

} // namespace avx2
} // namespace h263
