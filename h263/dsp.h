// Transforms for 8x8 blocks: the exact and the fast forward DCT, and the integer inverse DCT.
#pragma once

#include <cstdint>
#include <emmintrin.h>

namespace h263 {

/** Orthonormal 8x8 DCT-II in double precision; each coefficient truncated toward zero. */
void fdct_exact(const int32_t *block, int32_t *coef);

/** The scalar form of fdct_exact, kept as the reference the vectorised one is checked against. */
void fdct_exact_reference(const int32_t *block, int32_t *coef);

/**
 * Estimate from the block's border: coefficients 0, 1 and 8 from the sums of
 * the first and last rows and columns; all others 0.
 */
void fdct_fast(const int32_t *block, int32_t *coef);

/**
 * Separable integer inverse DCT (Chen-Wang butterflies), in place on 64
 * values in raster order; outputs are clipped to -256..255.
 */
void idct(int16_t *block);

/** The scalar form of idct, the reference its vectorised form is checked against. */
void idct_reference(int16_t *block);

/**
 * idct of a block (left unchanged) into eight rows of eight samples at dst:
 * clip(value) or, with add, clip(sample + value), clipped to 0..255.
 */
void idct_put(const int16_t *block, uint8_t *dst, int stride, bool add);

/** The inverse DCT of a block whose only non-zero coefficients are 0, 1 and 8; equals idct. */
void idct_reduced(int16_t *block);

/**
 * idct_reduced of coefficients b0, b1 and b8 in two parts: row i of the result
 * is clip256((base + k[i]) >> 14), base being row 0 of the row pass (from b0
 * and b1) times 256 plus the rounding, and k[i] the column pass's term of b8.
 */
struct ReducedTerms {
    alignas(16) int32_t base[8];
    int32_t k[8];
    bool flat;  ///< b8 is 0: every k[i] is 0, all rows are equal

    ReducedTerms(int b0, int b1, int b8)
    {
        constexpr int W1 = 2841, W7 = 565;
        {
            const int x0 = b0 * 2048 + 128, p = W1 * b1, q = W7 * b1;
            const int r = static_cast<int>((181LL * (p + q) + 128) >> 8);
            const int t = static_cast<int>((181LL * (p - q) + 128) >> 8);
            const int v[8] = {x0 + p, x0 + r, x0 + t, x0 + q, x0 - q, x0 - t, x0 - r, x0 - p};
            for (int i = 0; i < 8; i++)
                base[i] = static_cast<int16_t>(v[i] >> 8) * 256 + 8192;
        }
        flat = b8 == 0;
        const int c1 = static_cast<int16_t>(b8 * 8);
        const int p = (W1 * c1 + 4) >> 3, q = (W7 * c1 + 4) >> 3;
        const int r = static_cast<int>((181LL * (p + q) + 128) >> 8);
        const int t = static_cast<int>((181LL * (p - q) + 128) >> 8);
        const int kv[8] = {p, r, t, q, -q, -t, -r, -p};
        for (int i = 0; i < 8; i++)
            k[i] = kv[i];
    }
};

/** The eight rows of 16-bit values of a reduced inverse transform. */
inline void idct_reduced_rows(const ReducedTerms &terms, __m128i out[8])
{
    const __m128i lo = _mm_load_si128(reinterpret_cast<const __m128i *>(terms.base));
    const __m128i hi = _mm_load_si128(reinterpret_cast<const __m128i *>(terms.base + 4));
    const __m128i mn = _mm_set1_epi16(-256), mx = _mm_set1_epi16(255);
    auto row = [&](int k) {
        const __m128i kv = _mm_set1_epi32(k);
        const __m128i v = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, kv), 14),
                                          _mm_srai_epi32(_mm_add_epi32(hi, kv), 14));
        return _mm_min_epi16(_mm_max_epi16(v, mn), mx);
    };
    if (terms.flat) {
        const __m128i v = row(0);
        for (int i = 0; i < 8; i++)
            out[i] = v;
        return;
    }
    for (int i = 0; i < 8; i++)
        out[i] = row(terms.k[i]);
}

/** idct_reduced of coefficients b0, b1 and b8 as eight rows of 16-bit values. */
inline void idct_reduced_rows(int b0, int b1, int b8, __m128i out[8])
{
    idct_reduced_rows(ReducedTerms(b0, b1, b8), out);
}

inline uint8_t clip_pixel(int v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

} // namespace h263
